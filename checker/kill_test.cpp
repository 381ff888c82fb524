// A run killed at random moments and resumed ends with the same project as a
// run that was never interrupted, and no kill leaves a record half-written; a
// creation killed at random moments leaves the whole project or none.
// The killed runs are this test program itself, started again as a child
// that runs one project; killing a process needs POSIX here.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <chrono>
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
  std::printf("[ seed     ] %u\n", seed);
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

const char kChildSource[] = "LVN_KILL_TEST_SOURCE";

// The child's part: one creation (header choices left at zero) of the
// project and source named in the environment.
TEST(KillTest, DISABLED_ChildCreatesOneProject) {
  select_project(std::getenv(kChildProject));
  copy_field(source_path, sizeof source_path, std::getenv(kChildSource));
  ASSERT_TRUE(create_project(true));
}

TEST(KillTest, KilledCreationLeavesTheWholeProjectOrNone) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 20000; ++i)
    text += "<DT><A HREF=\"http://h.example/" + std::to_string(i) + "\">Bookmark</A>\n";
  const std::string source = dir.write("bookmarks.htm", text);
  const std::string project = dir.file("p.lvn");
  ProcessOptions options = child_options(project);
  options.arguments[0] = "--gtest_filter=KillTest.DISABLED_ChildCreatesOneProject";
  options.environment.push_back({kChildSource, source});
  auto create = [&](int kill_after_ms) {
    ChildProcess child;
    EXPECT_TRUE(child.start(options));
    if (kill_after_ms >= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kill_after_ms));
      child.send_signal(SIGKILL);
    }
    EXPECT_NE(child.wait(60000), -1);
  };

  // One creation left to end gives the bytes and the span to kill in.
  const auto t0 = std::chrono::steady_clock::now();
  create(-1);
  const auto span = std::chrono::steady_clock::now() - t0;
  const std::string whole = TempDir::read(project);
  ASSERT_EQ(whole.size(), kHeaderSize + 20000 * kRecordSize);

  const unsigned seed = std::random_device{}();
  std::printf("[ seed     ] %u\n", seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> moment(
      0, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(span).count()));
  int cut = 0;  // kills in the middle of a creation, which leave a temporary file
  for (int round = 0; round < 12; ++round) {
    ASSERT_TRUE(platform::delete_file(project));
    create(moment(random));
    if (platform::file_attributes(project).exists) {
      ASSERT_EQ(TempDir::read(project), whole);
    }
    platform::DirListing listing;
    platform::DirEntry entry;
    if (listing.open(dir.file("*.lvn-tmp")))
      while (listing.next(entry))
        if (platform::delete_file(dir.file(entry.name))) ++cut;
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
