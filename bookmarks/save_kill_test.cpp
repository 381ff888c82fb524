// Saves killed at random moments never cost a bookmark: the old bookmark
// file stays whole, every dead bookmark of a tree is in its place or whole in
// Dead Links, and the next save finishes the job and leaves no temporary
// file. The killed saves are this test program itself, started again as a
// child that runs one save; killing a process needs POSIX here. A run's seed
// is printed; LVN_KILL_SEED repeats it.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bookmarks/favorites_writer.h"
#include "bookmarks/save_results.h"
#include "core/globals.h"
#include "platform/platform.h"
#include "tests/support/file_tree.h"
#include "tests/support/process_runner.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

const char kChildMode[] = "LVN_SAVE_KILL_MODE";
const char kChildProject[] = "LVN_SAVE_KILL_PROJECT";
const char kChildOutput[] = "LVN_SAVE_KILL_OUTPUT";
// Kills per writer: the file writer is quick, the tree writer slow.
constexpr int kFileKills = 10;
constexpr int kTreeKills = 6;

void select_save(int mode, const std::string& project, const std::string& output) {
  output_mode = static_cast<uint32_t>(mode);
  copy_field(project_path, sizeof project_path, project);
  copy_field(output_location, sizeof output_location, output);
}

// The child's part: one save as the environment says. Run only by the test
// below, which starts it with the disabled tests enabled.
TEST(SaveKillChild, DISABLED_Saves) {
  const char* mode = std::getenv(kChildMode);
  const char* project = std::getenv(kChildProject);
  const char* output = std::getenv(kChildOutput);
  ASSERT_TRUE(mode && project && output);
  console_mode = true;
  select_save(std::atoi(mode), project, output);
  save_results();
}

class SaveKillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* fixed = std::getenv("LVN_KILL_SEED");
    seed = fixed ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10)) : std::random_device{}();
    std::printf("[ seed     ] LVN_KILL_SEED=%u\n", seed);
    random.seed(seed);
  }
  void TearDown() override { output_mode = 0; }

  ProcessOptions child(int mode, const std::string& project, const std::string& output) {
    ProcessOptions options;
    options.program = platform::module_path();
    options.arguments = {"--gtest_filter=SaveKillChild.DISABLED_Saves",
                         "--gtest_also_run_disabled_tests"};
    options.environment = {{kChildMode, std::to_string(mode)},
                           {kChildProject, project},
                           {kChildOutput, output}};
    return options;
  }

  // Runs one save to its end; its time in milliseconds sets how late a kill
  // may come.
  void time_save(int mode, const std::string& project, const std::string& output) {
    const auto start = std::chrono::steady_clock::now();
    ChildProcess process;
    ASSERT_TRUE(process.start(child(mode, project, output)));
    ASSERT_EQ(process.wait(60000), 0) << process.output();
    save_ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - start)
                                   .count());
  }

  // Starts one save and kills it at a random moment within its usual time;
  // true when the child was still running then.
  bool killed_save(int mode, const std::string& project, const std::string& output) {
    ChildProcess process;
    if (!process.start(child(mode, project, output))) return false;
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(1, save_ms)(random)));
    process.send_signal(SIGKILL);
    return process.wait(10000) == 128 + SIGKILL;
  }

  static bool no_temporaries(const std::string& root) {
    for (const std::string& entry : tree_listing(root))
      if (entry.find(platform::kTemporarySuffix) != std::string::npos) return false;
    return true;
  }

  int save_ms = 1;
  unsigned seed = 0;
  std::mt19937 random;
  TempDir dir;
};

TEST_F(SaveKillTest, KilledBookmarkFileSaveLeavesTheOldFileWhole) {
  std::vector<LVK_URL> records;
  for (int i = 0; i < 8000; ++i)
    records.push_back(make_record("http://site/" + std::string(200, 'a' + i % 26),
                                  "F" + std::to_string(i / 50) + "\\B" + std::to_string(i) + ".URL",
                                  1, i % 7 == 0 ? quarantine : keep));
  const std::string project = dir.file("p.lvn");
  write_project_file(project, records);
  time_save(1, project, dir.file("expected.html"));
  const std::string expected = TempDir::read(dir.file("expected.html"));
  const std::string output = dir.write("out/bookmarks.html", "<the old bookmarks>\r\n");

  int mid_save = 0;
  for (int round = 0; round < kFileKills; ++round) {
    if (killed_save(1, project, output) && !no_temporaries(dir.file("out"))) ++mid_save;
    const std::string now = TempDir::read(output);
    ASSERT_TRUE(now == "<the old bookmarks>\r\n" || now == expected) << "round " << round;
  }
  std::printf("[ kills    ] %d of %d left a save half done\n", mid_save, kFileKills);
  EXPECT_GT(mid_save, 0) << "no kill landed in the middle of a save";
  select_save(1, project, output);
  save_results();
  EXPECT_EQ(TempDir::read(output), expected);
  EXPECT_TRUE(no_temporaries(dir.file("out")));
}

TEST_F(SaveKillTest, KilledTreeSaveLosesNoBookmark) {
  // A tree of 300 shortcuts, a third of them dead, saved over itself.
  std::vector<LVK_URL> records;
  for (int i = 0; i < 300; ++i) {
    const std::string url = "http://site/" + std::to_string(i);
    const std::string path = "F" + std::to_string(i % 10) + "\\B" + std::to_string(i) + ".url";
    records.push_back(make_record(url, path, 1, i % 3 == 0 ? quarantine : i % 3 == 1 ? keep : fix,
                                  i % 3 == 1 ? result_none : http_error));
    for (const char* root : {"tree/F", "timing/F"})
      dir.write(root + std::to_string(i % 10) + "/B" + std::to_string(i) + ".url",
                "[InternetShortcut]\r\nURL=" + url + "\r\n");
  }
  const std::string project = dir.file("p.lvn");
  write_project_file(project, records);
  const std::string tree = dir.file("tree");
  time_save(2, project, dir.file("timing"));
  const auto url_in = [](const std::string& file) {
    return platform::profile_read(file, "InternetShortcut", "URL", "", 1000);
  };
  const auto copies = [&] {
    std::vector<std::string> urls;
    for (const std::string& name : tree_listing(tree + "/Dead Links")) {
      const std::string file = tree + "/Dead Links/" + name;
      if (url_in(file) == platform::profile_read(file, "DEFAULT", "BASEURL", "-", 1000))
        urls.push_back(url_in(file));
    }
    std::sort(urls.begin(), urls.end());
    return urls;
  };

  int mid_save = 0;
  for (int round = 0; round < kTreeKills; ++round) {
    if (killed_save(2, project, tree)) ++mid_save;
    const std::vector<std::string> copied = copies();
    for (const LVK_URL& record : records) {
      std::string path = record.path;
      path[path.find('\\')] = '/';
      const bool in_place = url_in(tree + "/" + path) == record.url;
      const bool copy = std::binary_search(copied.begin(), copied.end(), std::string(record.url));
      ASSERT_TRUE(in_place || (record.action == quarantine && copy))
          << record.path << " lost in round " << round;
    }
  }
  std::printf("[ kills    ] %d of %d ended a save early\n", mid_save, kTreeKills);
  EXPECT_GT(mid_save, 0) << "no kill landed in the middle of a save";

  // The next save finishes the move: one copy of each dead bookmark, the
  // removed ones gone from their folders, no temporary file anywhere.
  select_save(2, project, tree);
  EXPECT_EQ(write_favorites_tree(), 0u);
  std::vector<std::string> dead;
  for (const LVK_URL& record : records)
    if (record.action != keep) dead.push_back(record.url);
  std::sort(dead.begin(), dead.end());
  EXPECT_EQ(copies(), dead);
  EXPECT_EQ(tree_listing(tree).size(), 10 + 200 + 1 + 200u);
  EXPECT_TRUE(no_temporaries(tree));
}

}  // namespace

#endif  // _WIN32
