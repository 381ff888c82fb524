// Reading answers: limits, leftovers that answer the next question, line
// ends of every kind, and the project extension in any case.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/answer_reader.h"

namespace {

// One answer per limit, in order, from a stream holding exactly `bytes`.
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

TEST(ReadAnswer, LineEndsLimitsAndSpillOver) {
  const std::string name(99, 'n'), x24(24, 'x'), y23(23, 'y');
  const struct {
    std::string input;
    std::vector<size_t> limits;
    std::vector<std::string> want;
  } cases[] = {
      {"one\ntwo\r\nthree\r\r\n\nlast", {99, 99, 99, 99, 99, 99},
       {"one", "two", "three", "", "last", ""}},  // the end of input gives empty answers
      {"  7\nmy project \n", {99, 99}, {"  7", "my project "}},
      {name + "rest of it\r\n3\n", {99, 99, 24}, {name, "rest of it", "3"}},
      // A line end right after the limit goes with the line.
      {x24 + "\nnext\n", {24, 24}, {x24, "next"}},
      {x24 + "\r\nnext\r\n", {24, 24}, {x24, "next"}},
      {y23 + "\r\nnext\n", {24, 24}, {y23, "next"}},
      {"abcd", {4, 4}, {"abcd", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(answers(c.input, c.limits), c.want) << c.input;
}

TEST(ProjectExtension, AnyCaseAtTheEndOnly) {
  for (const char* name : {"myproj.lvn", "MyProj.LVN", ".LvN"}) EXPECT_TRUE(has_project_extension(name)) << name;
  for (const char* name : {"lvn", "", "x.lvn.bak", "x_lvn"}) EXPECT_FALSE(has_project_extension(name)) << name;
}

}  // namespace
