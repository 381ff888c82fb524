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

TEST(ReadAnswer, StripsEveryLineEndOfItsKind) {
  Input input("one\ntwo\r\nthree\r\r\n\nlast");
  EXPECT_EQ(input.answers({99, 99, 99, 99, 99, 99}),
            (Answers{"one", "two", "three", "", "last", ""}));
}

TEST(ReadAnswer, KeepsBlanksInsideAndAtTheEdges) {
  Input input("  7\nmy project \n");
  EXPECT_EQ(input.answers({99, 99}), (Answers{"  7", "my project "}));
}

TEST(ReadAnswer, LongLineSpillsIntoTheNextQuestion) {
  const std::string name(99, 'n');
  Input input(name + "rest of it\r\n3\n");
  EXPECT_EQ(input.answers({99, 99, 24}), (Answers{name, "rest of it", "3"}));
}

TEST(ReadAnswer, SpillCanCrossSeveralQuestions) {
  Input input("12345678901234567890123456789\n");
  EXPECT_EQ(input.answers({24, 24}), (Answers{"123456789012345678901234", "56789"}));
}

TEST(ReadAnswer, LineOfExactlyTheLimitLeavesNothingBehind) {
  const std::string exact(24, 'x');
  Input lf(exact + "\nnext\n");
  EXPECT_EQ(lf.answers({24, 24}), (Answers{exact, "next"}));
  Input crlf(exact + "\r\nnext\r\n");
  EXPECT_EQ(crlf.answers({24, 24}), (Answers{exact, "next"}));
  // The cut falls between CR and LF: the LF goes with the line.
  Input split(std::string(23, 'y') + "\r\nnext\n");
  EXPECT_EQ(split.answers({24, 24}), (Answers{std::string(23, 'y'), "next"}));
}

TEST(ReadAnswer, ExactLimitAtTheEndOfInput) {
  Input input("abcd");
  EXPECT_EQ(input.answers({4, 4}), (Answers{"abcd", ""}));
}

TEST(ReadAnswer, EndOfInputGivesEmptyAnswers) {
  Input input("");
  EXPECT_EQ(input.answers({99, 24}), (Answers{"", ""}));
}

TEST(ReadAnswer, PathLimitOf255) {
  const std::string path(300, 'p');
  Input input(path + "\n");
  const Answers got = input.answers({255, 99});
  EXPECT_EQ(got[0], path.substr(0, 255));
  EXPECT_EQ(got[1], path.substr(255));
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
  EXPECT_TRUE(has_project_extension("myproj.lvn"));
  EXPECT_TRUE(has_project_extension("MyProj.LVN"));
  EXPECT_TRUE(has_project_extension(".LvN"));
  EXPECT_FALSE(has_project_extension("myproj"));
  EXPECT_FALSE(has_project_extension("lvn"));
  EXPECT_FALSE(has_project_extension(""));
  EXPECT_FALSE(has_project_extension("x.lvn.bak"));
  EXPECT_FALSE(has_project_extension("x_lvn"));
}

}  // namespace
