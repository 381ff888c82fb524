// Reading answers: limits, leftovers that answer the next question, line
// ends of every kind, and the project extension in any case.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "console/answer_reader.h"

namespace {

// Reads one answer per limit, in order, from a stream holding exactly the
// given bytes.
std::vector<std::string> answers(const std::string& bytes, const std::vector<size_t>& limits) {
  std::FILE* file = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  std::vector<std::string> out;
  for (size_t limit : limits) {
    std::vector<char> buffer(limit + 1 + 8, '#');
    read_answer(file, buffer.data(), limit);
    EXPECT_EQ(buffer[limit + 1], '#') << "wrote past limit + 1";
    out.emplace_back(buffer.data());
  }
  std::fclose(file);
  return out;
}

using Answers = std::vector<std::string>;

TEST(ReadAnswer, LineEndsLimitsAndSpillOver) {
  const std::string name(99, 'n'), exact(24, 'x'), y23(23, 'y');
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
      {"exactly the limit, LF", exact + "\nnext\n", {24, 24}, {exact, "next"}},
      {"exactly the limit, CRLF", exact + "\r\nnext\r\n", {24, 24}, {exact, "next"}},
      {"cut between CR and LF: the LF goes with the line", y23 + "\r\nnext\n", {24, 24},
       {y23, "next"}},
      {"exact limit at the end of input", "abcd", {4, 4}, {"abcd", ""}},
      {"end of input gives empty answers", "", {99, 24}, {"", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(answers(c.input, c.limits), c.want) << c.what;
}

TEST(ProjectExtension, AnyCaseAtTheEndOnly) {
  const std::pair<const char*, bool> cases[] = {
      {"myproj.lvn", true}, {"MyProj.LVN", true}, {".LvN", true},   {"lvn", false},
      {"", false},          {"x.lvn.bak", false}, {"x_lvn", false},
  };
  for (const auto& [name, want] : cases) EXPECT_EQ(has_project_extension(name), want) << name;
}

}  // namespace
