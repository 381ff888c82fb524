// Runs and creations killed at random moments (the children are this program
// started again to run or create one project; killing needs POSIX here).
#include <gtest/gtest.h>

#ifndef _WIN32

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/support/checker_run.h"
#include "tests/support/http_fixture.h"
#include "tests/support/process_runner.h"
#include "tests/support/seeded_random.h"

namespace {

// The children's parts: one run by ten workers, or one creation, of the
// project named in the environment.
TEST(KillTest, DISABLED_ChildRunsOneProject) {
  ASSERT_NE(std::getenv("LVN_KILL_TEST_PROJECT"), nullptr);
  select_project(std::getenv("LVN_KILL_TEST_PROJECT"));
  RunWatcher watcher;
  ASSERT_TRUE(run_project(watcher, 10, 60000));
}
TEST(KillTest, DISABLED_ChildCreatesOneProject) {
  ASSERT_NE(std::getenv("LVN_KILL_TEST_SOURCE"), nullptr);
  select_project(std::getenv("LVN_KILL_TEST_PROJECT"));
  copy_field(source_path, sizeof source_path, std::getenv("LVN_KILL_TEST_SOURCE"));
  ASSERT_TRUE(create_project(true));
}

// Starts the child part `what` and kills it after `ms` (never when negative):
// its exit code, -1 when it did not start or end.
int run_child(const char* what, const std::string& project, int ms, const std::string& source = "") {
  ProcessOptions options;
  options.program = platform::module_path();
  options.arguments = {std::string("--gtest_filter=KillTest.DISABLED_") + what, "--gtest_also_run_disabled_tests"};
  options.environment = {{"LVN_KILL_TEST_PROJECT", project}, {"LVN_KILL_TEST_SOURCE", source}};
  ChildProcess child;
  if (!child.start(options)) return -1;
  if (ms >= 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  if (ms >= 0) child.send_signal(SIGKILL);
  return child.wait(60000);
}

// No kill leaves a record half-written, and the run resumed after the kills
// ends with the same project as a run never interrupted.
TEST(KillTest, ResumedAfterKillsEqualsAnUninterruptedRun) {
  HttpFixture server;
  TempDir dir;
  // Slow valid links, dead ones cut back to their site, unreachable ones
  // quarantined and a few that are not shortcuts.
  std::vector<LVK_URL> records;
  for (int i = 0; i < 400; ++i) {
    const std::string n = std::to_string(i);
    records.push_back(i % 10 == 7   ? make_record(server.url("/gone/" + n + "/x.htm"), "F\\d.url")
                      : i % 10 == 8 ? make_record(unreachable_url() + n, "o.url")
                      : i % 10 == 9 ? make_record(server.url("/status/404?" + n), "desktop.ini")
                                    : make_record(server.url("/slow/40?n=" + n), "s.url"));
  }
  const std::string reference = dir.file("reference.lvn"), killed = dir.file("killed.lvn");
  write_project(reference, {fix, quarantine, 10}, records);
  write_project(killed, {fix, quarantine, 10}, records);
  const std::string pending = TempDir::read(killed);
  ASSERT_EQ(run_child("ChildRunsOneProject", reference, -1), 0);
  const std::string expected = TempDir::read(reference);

  std::mt19937 random = seeded_random();
  std::uniform_int_distribution<int> moment(20, 400);
  int rounds = 0, cut_short = 0;  // kills that left the project part done
  for (size_t done = 0; rounds < 20 && done < records.size(); ++rounds) {
    ASSERT_NE(run_child("ChildRunsOneProject", killed, moment(random)), -1);
    done = records_done(TempDir::read(killed), pending, expected);
    cut_short += done > 0 && done < records.size();
  }
  EXPECT_GT(cut_short, 0) << "no kill landed in the middle of a run";
  std::printf("[ kills    ] %d rounds, %d cut a run short\n", rounds, cut_short);
  EXPECT_EQ(run_child("ChildRunsOneProject", killed, -1), 0);  // a last run left to end
  EXPECT_TRUE(TempDir::read(killed) == expected) << "after " << rounds << " killed runs";
}

// A killed creation leaves the whole project or none (and a temporary file).
TEST(KillTest, KilledCreationLeavesTheWholeProjectOrNone) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "<DT><A HREF=\"http://h.example/" + std::to_string(i) + "\">B</A>\n";
  const std::string source = dir.write("bookmarks.htm", text), project = dir.file("p.lvn");
  const auto t0 = std::chrono::steady_clock::now();  // the span to kill in
  ASSERT_EQ(run_child("ChildCreatesOneProject", project, -1, source), 0);
  const std::chrono::duration<double, std::milli> span = std::chrono::steady_clock::now() - t0;
  const std::string whole = TempDir::read(project);
  std::mt19937 random = seeded_random();
  std::uniform_int_distribution<int> moment(0, static_cast<int>(span.count()));
  int cut = 0;  // kills in the middle of a creation, which leave a temporary file
  for (int round = 0; round < 12; ++round) {
    platform::delete_file(project);
    ASSERT_NE(run_child("ChildCreatesOneProject", project, moment(random), source), -1);
    const bool made = platform::file_attributes(project).exists;
    EXPECT_TRUE(!made || TempDir::read(project) == whole) << "round " << round;
    cut += std::distance(std::filesystem::directory_iterator(dir.path()), {}) > 1 + made;
    platform::remove_stale_temporaries(dir.path());
  }
  EXPECT_GT(cut, 0) << "no kill landed in the middle of a creation";
  std::printf("[ kills    ] 12 rounds, %d cut a creation short\n", cut);
}

}  // namespace

#endif  // _WIN32
