// A run killed at random moments and resumed ends with the same project as a
// run that was never interrupted, and no kill leaves a record half-written.
// The killed runs are this test program itself, started again as a child
// that runs one project; killing a process needs POSIX here.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/globals.h"
#include "platform/platform.h"
#include "tests/support/checker_run.h"
#include "tests/support/http_fixture.h"
#include "tests/support/process_runner.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

const char kChildProject[] = "LVN_KILL_TEST_PROJECT";
constexpr int kWorkers = 10;

// The child's part: one run of the project named in the environment. Run
// only by the test below, which starts it with the disabled tests enabled.
TEST(KillTest, DISABLED_ChildRunsOneProject) {
  const char* path = std::getenv(kChildProject);
  ASSERT_NE(path, nullptr);
  select_project(path);
  RunWatcher watcher;
  ASSERT_TRUE(run_project(watcher, kWorkers, 60000));
}

ProcessOptions child_options(const std::string& project) {
  ProcessOptions options;
  options.program = platform::module_path();
  options.arguments = {"--gtest_filter=KillTest.DISABLED_ChildRunsOneProject",
                       "--gtest_also_run_disabled_tests"};
  options.environment = {{kChildProject, project}};
  return options;
}

TEST(KillTest, ResumedAfterKillsEqualsAnUninterruptedRun) {
  HttpFixture server;
  ASSERT_TRUE(server.ok());
  TempDir dir;

  // Slow valid links, dead ones cut back to their site, unreachable ones
  // quarantined and a few that are not shortcuts.
  const std::string offline = unreachable_url();
  std::vector<LVK_URL> records;
  for (int i = 0; i < 400; ++i) {
    const std::string n = std::to_string(i);
    switch (i % 10) {
      case 7: records.push_back(make_record(server.url("/gone/" + n + "/x.htm"), "F\\d.url")); break;
      case 8: records.push_back(make_record(offline + n, "o.url")); break;
      case 9: records.push_back(make_record(server.url("/status/404?" + n), "desktop.ini")); break;
      default: records.push_back(make_record(server.url("/slow/40?n=" + n), "s.url")); break;
    }
  }
  ProjectOptions options;
  options.on_http_error = fix;
  options.on_no_connection = quarantine;
  options.threads = kWorkers;
  const std::string reference = dir.file("reference.lvn");
  const std::string killed = dir.file("killed.lvn");
  write_project(reference, options, records);
  write_project(killed, options, records);
  const std::string pending = TempDir::read(killed);

  // The uninterrupted run, in this process.
  {
    stop_requested.store(false);
    select_project(reference);
    RunWatcher watcher;
    ASSERT_TRUE(run_project(watcher, kWorkers, 60000));
  }
  const std::string expected = TempDir::read(reference);
  ASSERT_EQ(expected.size(), pending.size());
  ASSERT_NE(expected, pending);

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> moment(20, 400);
  int rounds = 0;
  int cut_short = 0;  // kills that left the project part done
  for (; rounds < 20; ++rounds) {
    ChildProcess child;
    ASSERT_TRUE(child.start(child_options(killed)));
    std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
    child.send_signal(SIGKILL);
    ASSERT_NE(child.wait(10000), -1);

    // Every record is either untouched or complete.
    const std::string now = TempDir::read(killed);
    ASSERT_EQ(now.size(), pending.size());
    ASSERT_EQ(now.substr(0, kHeaderSize), pending.substr(0, kHeaderSize));
    size_t done = 0;
    for (size_t at = kHeaderSize; at < now.size(); at += kRecordSize) {
      const std::string record = now.substr(at, kRecordSize);
      const bool untouched = record == pending.substr(at, kRecordSize);
      const bool complete = record == expected.substr(at, kRecordSize);
      ASSERT_TRUE(untouched || complete) << "record " << (at - kHeaderSize) / kRecordSize
                                         << " half-written after round " << rounds;
      if (complete && !untouched) ++done;
    }
    if (done > 0 && done < records.size()) ++cut_short;
    if (done == records.size()) break;
  }
  EXPECT_GT(cut_short, 0) << "no kill landed in the middle of a run";
  std::printf("[ kills    ] %d rounds, %d cut a run short\n", rounds, cut_short);

  // A last run that is left to end.
  ChildProcess child;
  ASSERT_TRUE(child.start(child_options(killed)));
  EXPECT_EQ(child.wait(60000), 0) << child.output() << child.errors();
  EXPECT_EQ(TempDir::read(killed), expected) << "after " << rounds << " killed runs";
}

}  // namespace

#endif  // _WIN32
