// Reading answers: limits, leftovers that answer the next question, line
// ends of every kind, and numbers read the usual decimal way.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "console/answer_reader.h"

namespace {

// An input stream holding exactly the given bytes.
class Input {
 public:
  explicit Input(const std::string& bytes) : file_(std::tmpfile()) {
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
    std::rewind(file_);
  }
  ~Input() { std::fclose(file_); }
  std::FILE* get() const { return file_; }

  // Reads one answer per limit, in order.
  std::vector<std::string> answers(const std::vector<size_t>& limits) {
    std::vector<std::string> out;
    for (size_t limit : limits) {
      std::vector<char> buffer(limit + 1 + 8, '#');
      read_answer(file_, buffer.data(), limit);
      EXPECT_EQ(buffer[limit + 1], '#') << "wrote past limit + 1";
      out.emplace_back(buffer.data());
    }
    return out;
  }

 private:
  std::FILE* file_;
};

using Answers = std::vector<std::string>;

TEST(ReadAnswer, LineEndsLimitsAndSpillOver) {
  const std::string name(99, 'n'), exact(24, 'x'), y23(23, 'y'), path(300, 'p');
  const struct {
    const char* what;
    std::string input;
    std::vector<size_t> limits;
    Answers want;
  } cases[] = {
      {"every kind of line end", "one\ntwo\r\nthree\r\r\n\nlast", {99, 99, 99, 99, 99, 99},
       {"one", "two", "three", "", "last", ""}},
      {"blanks kept", "  7\nmy project \n", {99, 99}, {"  7", "my project "}},
      {"a long line spills into the next question", name + "rest of it\r\n3\n", {99, 99, 24},
       {name, "rest of it", "3"}},
      {"spill across questions", "12345678901234567890123456789\n", {24, 24},
       {"123456789012345678901234", "56789"}},
      {"exactly the limit, LF", exact + "\nnext\n", {24, 24}, {exact, "next"}},
      {"exactly the limit, CRLF", exact + "\r\nnext\r\n", {24, 24}, {exact, "next"}},
      {"cut between CR and LF: the LF goes with the line", y23 + "\r\nnext\n", {24, 24},
       {y23, "next"}},
      {"exact limit at the end of input", "abcd", {4, 4}, {"abcd", ""}},
      {"end of input gives empty answers", "", {99, 24}, {"", ""}},
      {"path limit of 255", path + "\n", {255, 99}, {path.substr(0, 255), path.substr(255)}},
  };
  for (const auto& c : cases) {
    Input input(c.input);
    EXPECT_EQ(input.answers(c.limits), c.want) << c.what;
  }
}

TEST(AnswerNumber, ReadsTheUsualDecimalWay) {
  struct Case {
    const char* text;
    long value;
  };
  const Case cases[] = {
      {"7", 7},        {"  7", 7},   {"\t 7", 7},    {"5x", 5},      {"abc", 0},
      {"", 0},         {"-3", -3},   {"+4", 4},      {"0", 0},       {"11", 11},
      {"- 3", 0},      {"+-3", 0},   {"x5", 0},      {"007", 7},     {"10 threads", 10},
      {" -12abc", -12}, {"3.9", 3},  {"1e3", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(answer_number(c.text), c.value) << '"' << c.text << '"';
}

TEST(AnswerNumber, SaturatesInsteadOfWrapping) {
  EXPECT_EQ(answer_number("99999999999999999999999"), LONG_MAX);
  EXPECT_EQ(answer_number("-99999999999999999999999"), LONG_MIN);
  // A value that would wrap to a small count must not look like one.
  EXPECT_NE(answer_number("4294967297"), 1);
}

TEST(ProjectExtension, AnyCaseAtTheEndOnly) {
  for (const char* name : {"myproj.lvn", "MyProj.LVN", ".LvN"})
    EXPECT_TRUE(has_project_extension(name)) << name;
  for (const char* name : {"myproj", "lvn", "", "x.lvn.bak", "x_lvn"})
    EXPECT_FALSE(has_project_extension(name)) << name;
}

}  // namespace
