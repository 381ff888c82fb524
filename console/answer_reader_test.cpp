// Reading answers: limits, line ends of every kind, and the project extension in
// any case. How an over-long answer spills into the next the end-to-end tests show.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/answer_reader.h"

namespace {

TEST(ReadAnswer, LineEndsAndLimits) {
  const std::string x24(24, 'x'), y23(23, 'y');
  const struct {
    std::string input;
    std::vector<size_t> limits;
    std::vector<std::string> want;  // the end of the input gives empty answers
  } cases[] = {
      {"one\ntwo\r\nthree\r\r\n\nlast", {99, 99, 99, 99, 99, 99},
       {"one", "two", "three", "", "last", ""}},
      {"  7\nmy project \n", {99, 99}, {"  7", "my project "}},
      // A line end right after the limit goes with the line.
      {x24 + "\nnext\n", {24, 24}, {x24, "next"}},
      {x24 + "\r\nnext\r\n", {24, 24}, {x24, "next"}},
      {y23 + "\r\nnext\n", {24, 24}, {y23, "next"}},
  };
  for (const auto& c : cases) {
    std::FILE* file = std::tmpfile();
    std::fputs(c.input.c_str(), file);
    std::rewind(file);
    for (size_t i = 0; i < c.limits.size(); ++i) {
      std::vector<char> answer(c.limits[i] + 9, '#');
      read_answer(file, answer.data(), c.limits[i]);
      EXPECT_EQ(std::string(answer.data()), c.want[i]) << c.input;
      EXPECT_EQ(answer[c.limits[i] + 1], '#') << "wrote past the limit";
    }
    std::fclose(file);
  }
}

TEST(ProjectExtension, AnyCaseAtTheEndOnly) {
  for (const char* name : {"myproj.lvn", "MyProj.LVN", ".LvN"})
    EXPECT_TRUE(has_project_extension(name)) << name;
  for (const char* name : {"lvn", "", "x.lvn.bak", "x_lvn"})
    EXPECT_FALSE(has_project_extension(name)) << name;
}

}  // namespace
