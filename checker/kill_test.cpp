// Runs killed at random moments (the child is this program started again to
// run one project; killing needs POSIX here).
#include <gtest/gtest.h>

#ifndef _WIN32

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "tests/support/checker_run.h"
#include "tests/support/http_fixture.h"
#include "tests/support/process_runner.h"
#include "tests/support/seeded_random.h"

namespace {

// The child's part: one run by ten workers of the project named in the
// environment.
TEST(KillTest, DISABLED_ChildRunsOneProject) {
  ASSERT_NE(std::getenv("LVN_KILL_TEST_PROJECT"), nullptr);
  select_project(std::getenv("LVN_KILL_TEST_PROJECT"));
  RunWatcher watcher;
  ASSERT_TRUE(run_project(watcher, 10, 60000));
}

// Runs `project` in a child killed after `ms` (never when negative): its exit
// code, -1 when it did not start or end.
int run_child(const std::string& project, int ms) {
  ChildProcess child;
  if (!child.start({platform::module_path(),
                    {"--gtest_filter=KillTest.DISABLED_*", "--gtest_also_run_disabled_tests"},
                    "",
                    {{"LVN_KILL_TEST_PROJECT", project}}}))
    return -1;
  if (ms >= 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    child.send_signal(SIGKILL);
  }
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
  ASSERT_EQ(run_child(reference, -1), 0);
  const std::string expected = TempDir::read(reference);

  std::mt19937 random = seeded_random();
  std::uniform_int_distribution<int> moment(20, 400);
  int rounds = 0, cut_short = 0;  // kills that left the project part done
  for (size_t done = 0; rounds < 20 && done < records.size(); ++rounds) {
    ASSERT_NE(run_child(killed, moment(random)), -1);
    done = records_done(TempDir::read(killed), pending, expected);
    cut_short += done > 0 && done < records.size();
  }
  EXPECT_GT(cut_short, 0) << "no kill landed in the middle of a run";
  EXPECT_EQ(run_child(killed, -1), 0);  // a last run left to end
  EXPECT_TRUE(TempDir::read(killed) == expected) << "after " << rounds << " killed runs";
}

}  // namespace

#endif  // _WIN32
