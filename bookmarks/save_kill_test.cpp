// Saves killed at random moments never cost a bookmark: the old bookmark
// file stays whole, every dead bookmark of a tree is in its place or whole in
// Dead Links, and the next save finishes the job and leaves no temporary
// file. The killed saves are this test program itself, started again as a
// child that runs one save; killing a process needs POSIX here. Each run
// prints its seed; LVN_KILL_SEED repeats it.
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

// The child's part: one save as LVN_SAVE_KILL says ("mode project output").
// Run only by the tests below, which start it with the disabled tests enabled.
TEST(SaveKillChild, DISABLED_Saves) {
  const char* job = std::getenv("LVN_SAVE_KILL");
  ASSERT_NE(job, nullptr);
  const std::string text = job;
  const size_t a = text.find(' '), b = text.find(' ', a + 1);
  output_mode = static_cast<uint32_t>(std::atoi(job));
  copy_field(project_path, sizeof project_path, text.substr(a + 1, b - a - 1));
  copy_field(output_location, sizeof output_location, text.substr(b + 1));
  console_mode = true;
  save_results();
}

bool no_temporaries(const std::string& root) {
  for (const std::string& entry : tree_listing(root))
    if (entry.find(platform::kTemporarySuffix) != std::string::npos) return false;
  return true;
}

// Whether a temporary file stands beside this bookmark file.
bool file_save_begun(const std::string& output) {
  platform::DirListing temporaries;
  return temporaries.open(output.substr(0, output.find_last_of('/')) + "/*" +
                          platform::kTemporarySuffix);
}

std::string url_in(const std::string& file, const char* section = "InternetShortcut",
                   const char* key = "URL") {
  return platform::profile_read(file, section, key, "", 1000);
}

class SaveKillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* fixed = std::getenv("LVN_KILL_SEED");
    const unsigned seed = fixed ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10))
                                : std::random_device{}();
    std::printf("[ seed     ] LVN_KILL_SEED=%u\n", seed);
    random.seed(seed);
  }

  // One save of the project to `output` in a child. Without `kill` it runs
  // to its end and sets how late a kill may come; with it, it is killed at a
  // random moment within that time, counted from when `begun` first holds.
  // True when the save ended, or the kill found the child running.
  bool save(int mode, const std::string& output, bool kill,
            bool (*begun)(const std::string&) = nullptr) {
    ProcessOptions options;
    options.program = platform::module_path();
    options.arguments = {"--gtest_filter=SaveKillChild.DISABLED_Saves",
                         "--gtest_also_run_disabled_tests"};
    options.environment = {{"LVN_SAVE_KILL", std::to_string(mode) + " " + project + " " + output}};
    ChildProcess child;
    const auto start = std::chrono::steady_clock::now();
    if (!child.start(options)) return false;
    if (!kill) {
      const bool ended = child.wait(60000) == 0;
      save_ms = std::max<long>(1, std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - start).count());
      return ended;
    }
    for (int waited = 0; begun && !begun(output) && child.wait(0) == -1 && waited < 5000; ++waited)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<long>(0, save_ms)(random)));
    child.send_signal(SIGKILL);
    return child.wait(10000) == 128 + SIGKILL;
  }

  long save_ms = 1;
  std::mt19937 random;
  TempDir dir;
  const std::string project = dir.file("p.lvn");
};

TEST_F(SaveKillTest, KilledBookmarkFileSaveLeavesTheOldFileWhole) {
  std::vector<LVK_URL> records;
  for (int i = 0; i < 8000; ++i)
    records.push_back(make_record("http://site/" + std::string(200, 'a' + i % 26),
                                  "F" + std::to_string(i / 50) + "\\B" + std::to_string(i) + ".URL",
                                  1, i % 7 == 0 ? quarantine : keep));
  write_project_file(project, records);
  ASSERT_TRUE(save(1, dir.file("expected.html"), false));
  save_ms /= 4;  // most of it went to starting the child
  const std::string expected = TempDir::read(dir.file("expected.html"));
  const std::string old_file = "<the old bookmarks>\r\n";
  const std::string output = dir.write("out/bookmarks.html", old_file);
  int mid_save = 0;
  for (int round = 0; round < 10; ++round) {
    mid_save += save(1, output, true, file_save_begun) && file_save_begun(output);
    const std::string now = TempDir::read(output);
    ASSERT_TRUE(now == old_file || now == expected) << "round " << round;
  }
  EXPECT_GT(mid_save, 0);
  ASSERT_TRUE(save(1, output, false));
  EXPECT_EQ(TempDir::read(output), expected);
  EXPECT_TRUE(no_temporaries(dir.file("out")));
}

TEST_F(SaveKillTest, KilledTreeSaveLosesNoBookmark) {
  // 300 shortcuts saved over themselves: a third quarantined, a third fixed.
  std::vector<LVK_URL> records;
  std::vector<std::string> dead;
  for (int i = 0; i < 300; ++i) {
    const std::string url = "http://site/" + std::to_string(i);
    const std::string path = "F" + std::to_string(i % 10) + "/B" + std::to_string(i) + ".url";
    const uint32_t action = i % 3 == 0 ? quarantine : i % 3 == 1 ? keep : fix;
    records.push_back(make_record(url, path, 1, action, action == keep ? 0u : 1u));
    records.back().path[path.find('/')] = '\\';
    if (action != keep) dead.push_back(url);
    for (const char* root : {"tree/", "timing/"})
      dir.write(root + path, "[InternetShortcut]\r\nURL=" + url + "\r\n");
  }
  std::sort(dead.begin(), dead.end());
  write_project_file(project, records);
  const std::string tree = dir.file("tree");
  // The links of the whole copies in Dead Links.
  const auto copies = [&] {
    std::vector<std::string> urls;
    for (const std::string& name : tree_listing(tree + "/Dead Links")) {
      const std::string file = tree + "/Dead Links/" + name;
      if (url_in(file) == url_in(file, "DEFAULT", "BASEURL")) urls.push_back(url_in(file));
    }
    std::sort(urls.begin(), urls.end());
    return urls;
  };

  ASSERT_TRUE(save(2, dir.file("timing"), false));
  int mid_save = 0;
  for (int round = 0; round < 6; ++round) {
    mid_save += save(2, tree, true);
    const std::vector<std::string> copied = copies();
    for (const LVK_URL& record : records)
      ASSERT_TRUE(url_in(tree + "\\" + record.path) == record.url ||
                  (record.action == quarantine &&
                   std::binary_search(copied.begin(), copied.end(), std::string(record.url))))
          << record.path << " lost in round " << round;
  }
  EXPECT_GT(mid_save, 0);

  // The next save finishes the move: one whole copy of each dead bookmark,
  // the quarantined ones gone from their folders, no temporary file.
  copy_field(project_path, sizeof project_path, project);
  copy_field(output_location, sizeof output_location, tree);
  EXPECT_EQ(write_favorites_tree(), 0u);
  EXPECT_EQ(copies(), dead);
  EXPECT_EQ(tree_listing(tree).size(), 10 + 200 + 1 + 200u);
  EXPECT_TRUE(no_temporaries(tree));
}

}  // namespace

#endif  // _WIN32
