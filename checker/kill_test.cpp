// A run killed at random moments and resumed ends with the same project as a
// run never interrupted, and no kill leaves a record half-written; a creation
// killed at random moments leaves the whole project or none. The killed
// processes are this test program started again to run or create one
// project; killing a process needs POSIX here.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

#include "core/globals.h"
#include "core/project.h"
#include "platform/platform.h"
#include "tests/support/checker_run.h"
#include "tests/support/http_fixture.h"
#include "tests/support/process_runner.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

// The children's parts, run only by the tests below: one run by ten workers,
// or one creation, of the project named in the environment.
TEST(KillTest, DISABLED_ChildRunsOneProject) {
  select_project(std::getenv("LVN_KILL_TEST_PROJECT"));
  RunWatcher watcher;
  ASSERT_TRUE(run_project(watcher, 10, 60000));
}

TEST(KillTest, DISABLED_ChildCreatesOneProject) {
  select_project(std::getenv("LVN_KILL_TEST_PROJECT"));
  copy_field(source_path, sizeof source_path, std::getenv("LVN_KILL_TEST_SOURCE"));
  ASSERT_TRUE(create_project(true));
}

// Starts the child part `what` and kills it after `ms` (never when negative):
// its exit code, -1 when it did not start or end.
int run_child(const char* what, const std::string& project, int ms, const std::string& source = "") {
  ProcessOptions options;
  options.program = platform::module_path();
  options.arguments = {std::string("--gtest_filter=KillTest.DISABLED_") + what,
                       "--gtest_also_run_disabled_tests"};
  options.environment = {{"LVN_KILL_TEST_PROJECT", project}, {"LVN_KILL_TEST_SOURCE", source}};
  ChildProcess child;
  if (!child.start(options)) return -1;
  if (ms >= 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    child.send_signal(SIGKILL);
  }
  return child.wait(60000);
}

// Kill moments from a printed seed: LVN_KILL_SEED=<seed> replays them.
std::mt19937 seeded_random() {
  const char* fixed = std::getenv("LVN_KILL_SEED");
  const unsigned seed = fixed ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10))
                              : std::random_device{}();
  std::printf("[ seed     ] LVN_KILL_SEED=%u\n", seed);
  return std::mt19937(seed);
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
  const std::string reference = dir.file("reference.lvn"), killed = dir.file("killed.lvn");
  write_project(reference, {fix, quarantine, 10}, records);
  write_project(killed, {fix, quarantine, 10}, records);
  const std::string pending = TempDir::read(killed);
  ASSERT_EQ(run_child("ChildRunsOneProject", reference, -1), 0);
  const std::string expected = TempDir::read(reference);
  ASSERT_EQ(expected.size(), pending.size());

  std::mt19937 random = seeded_random();
  std::uniform_int_distribution<int> moment(20, 400);
  int rounds = 0, cut_short = 0;  // kills that left the project part done
  for (; rounds < 20; ++rounds) {
    ASSERT_NE(run_child("ChildRunsOneProject", killed, moment(random)), -1);
    // Every record is either untouched or complete.
    const std::string now = TempDir::read(killed);
    ASSERT_EQ(now.substr(0, kHeaderSize), pending.substr(0, kHeaderSize));
    size_t done = 0;
    for (size_t at = kHeaderSize; at < pending.size(); at += kRecordSize) {
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
  EXPECT_EQ(run_child("ChildRunsOneProject", killed, -1), 0);  // a last run left to end
  EXPECT_EQ(TempDir::read(killed), expected) << "after " << rounds << " killed runs";
}

TEST(KillTest, KilledCreationLeavesTheWholeProjectOrNone) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 20000; ++i)
    text += "<DT><A HREF=\"http://h.example/" + std::to_string(i) + "\">Bookmark</A>\n";
  const std::string source = dir.write("bookmarks.htm", text), project = dir.file("p.lvn");
  // One creation left to end gives the bytes and the span to kill in.
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(run_child("ChildCreatesOneProject", project, -1, source), 0);
  const std::chrono::duration<double, std::milli> span = std::chrono::steady_clock::now() - t0;
  const std::string whole = TempDir::read(project);
  ASSERT_EQ(whole.size(), kHeaderSize + 20000 * kRecordSize);

  std::mt19937 random = seeded_random();
  std::uniform_int_distribution<int> moment(0, static_cast<int>(span.count()));
  int cut = 0;  // kills in the middle of a creation, which leave a temporary file
  for (int round = 0; round < 12; ++round) {
    ASSERT_TRUE(platform::delete_file(project));
    ASSERT_NE(run_child("ChildCreatesOneProject", project, moment(random), source), -1);
    EXPECT_TRUE(!platform::file_attributes(project).exists || TempDir::read(project) == whole);
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
