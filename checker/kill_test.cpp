// A run killed at random moments and resumed ends with the same project as a
// run that was never interrupted, and no kill leaves a record half-written; a
// creation killed at random moments leaves the whole project or none.
// The killed runs are this test program itself, started again as a child
// that runs one project; killing a process needs POSIX here.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/globals.h"
#include "core/project.h"
#include "platform/platform.h"
#include "tests/support/checker_run.h"
#include "tests/support/http_fixture.h"
#include "tests/support/process_runner.h"
#include "tests/support/project_builder.h"
#include "tests/support/seeded_random.h"
#include "tests/support/temp_dir.h"

namespace {

const char kChildProject[] = "LVN_KILL_TEST_PROJECT";
const char kChildSource[] = "LVN_KILL_TEST_SOURCE";
constexpr int kWorkers = 10;

// The children's parts, run only by the tests below, which start this
// program again with the disabled tests enabled: one run, or one creation
// (header choices left at zero), of the project named in the environment.
TEST(KillTest, DISABLED_ChildRunsOneProject) {
  ASSERT_NE(std::getenv(kChildProject), nullptr);
  select_project(std::getenv(kChildProject));
  RunWatcher watcher;
  ASSERT_TRUE(run_project(watcher, kWorkers, 60000));
}

TEST(KillTest, DISABLED_ChildCreatesOneProject) {
  select_project(std::getenv(kChildProject));
  copy_field(source_path, sizeof source_path, std::getenv(kChildSource));
  ASSERT_TRUE(create_project(true));
}

ProcessOptions child_options(const std::string& child, const std::string& project,
                             const std::string& source = "") {
  ProcessOptions options;
  options.program = platform::module_path();
  options.arguments = {"--gtest_filter=KillTest.DISABLED_" + child, "--gtest_also_run_disabled_tests"};
  options.environment = {{kChildProject, project}, {kChildSource, source}};
  return options;
}

// Starts the child and kills it after `ms` (never when negative); false when
// it did not start or end.
bool run_child(const ProcessOptions& options, int ms, int* exit_code = nullptr) {
  ChildProcess child;
  if (!child.start(options)) return false;
  if (ms >= 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    child.send_signal(SIGKILL);
  }
  const int code = child.wait(60000);
  if (exit_code) *exit_code = code;
  return code != -1;
}


TEST(KillTest, ResumedAfterKillsEqualsAnUninterruptedRun) {
  HttpFixture server;
  ASSERT_TRUE(server.ok());
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
  const ProjectOptions options{fix, quarantine, kWorkers, 0};
  const std::string reference = dir.file("reference.lvn"), killed = dir.file("killed.lvn");
  write_project(reference, options, records);
  write_project(killed, options, records);
  const std::string pending = TempDir::read(killed);
  {
    stop_requested.store(false);
    select_project(reference);
    RunWatcher watcher;
    ASSERT_TRUE(run_project(watcher, kWorkers, 60000));
  }
  const std::string expected = TempDir::read(reference);
  ASSERT_EQ(expected.size(), pending.size());
  ASSERT_NE(expected, pending);

  std::mt19937 random = seeded_random();
  std::uniform_int_distribution<int> moment(20, 400);
  int rounds = 0, cut_short = 0;  // kills that left the project part done
  for (; rounds < 20; ++rounds) {
    ASSERT_TRUE(run_child(child_options("ChildRunsOneProject", killed), moment(random)));
    // Every record is either untouched or complete.
    const std::string now = TempDir::read(killed);
    ASSERT_EQ(now.size(), pending.size());
    ASSERT_EQ(now.substr(0, kHeaderSize), pending.substr(0, kHeaderSize));
    size_t done = 0;
    for (size_t at = kHeaderSize; at < now.size(); at += kRecordSize) {
      const std::string record = now.substr(at, kRecordSize);
      const bool untouched = record == pending.substr(at, kRecordSize);
      ASSERT_TRUE(untouched || record == expected.substr(at, kRecordSize))
          << "record " << (at - kHeaderSize) / kRecordSize << " half-written after round " << rounds;
      done += !untouched;
    }
    if (done == records.size()) break;
    cut_short += done > 0;
  }
  EXPECT_GT(cut_short, 0) << "no kill landed in the middle of a run";
  std::printf("[ kills    ] %d rounds, %d cut a run short\n", rounds, cut_short);
  // A last run that is left to end.
  int code = -1;
  ASSERT_TRUE(run_child(child_options("ChildRunsOneProject", killed), -1, &code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(TempDir::read(killed), expected) << "after " << rounds << " killed runs";
}

TEST(KillTest, KilledCreationLeavesTheWholeProjectOrNone) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 20000; ++i)
    text += "<DT><A HREF=\"http://h.example/" + std::to_string(i) + "\">Bookmark</A>\n";
  const std::string source = dir.write("bookmarks.htm", text);
  const std::string project = dir.file("p.lvn");
  const ProcessOptions create = child_options("ChildCreatesOneProject", project, source);

  // One creation left to end gives the bytes and the span to kill in.
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(run_child(create, -1));
  const auto span = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - t0);
  const std::string whole = TempDir::read(project);
  ASSERT_EQ(whole.size(), kHeaderSize + 20000 * kRecordSize);

  std::mt19937 random = seeded_random();
  std::uniform_int_distribution<int> moment(0, static_cast<int>(span.count()));
  int cut = 0;  // kills in the middle of a creation, which leave a temporary file
  for (int round = 0; round < 12; ++round) {
    ASSERT_TRUE(platform::delete_file(project));
    ASSERT_TRUE(run_child(create, moment(random)));
    if (platform::file_attributes(project).exists) {
      ASSERT_EQ(TempDir::read(project), whole);
    }
    platform::DirListing listing;
    platform::DirEntry entry;
    if (listing.open(dir.file("*.lvn-tmp")))
      while (listing.next(entry)) cut += platform::delete_file(dir.file(entry.name));
    // Whatever the kill left is never taken for the project.
    select_project(project);
    copy_field(source_path, sizeof source_path, source);
    on_http_error = on_no_connection = threads = dead_links_folder = dead_links_text = 0;
    ASSERT_TRUE(create_project(true));
    ASSERT_EQ(TempDir::read(project), whole) << "round " << round;
  }
  EXPECT_GT(cut, 0) << "no kill landed in the middle of a creation";
  std::printf("[ kills    ] 12 rounds, %d cut a creation short\n", cut);
}

}  // namespace

#endif  // _WIN32
