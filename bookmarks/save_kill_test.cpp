// Saves killed at random moments never cost a bookmark, and the next save
// finishes the job. The killed saves are this program started again as a
// child that runs one save (POSIX only); LVN_KILL_SEED=<seed> replays a run.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

#include "bookmarks/favorites_writer.h"
#include "bookmarks/save_results.h"
#include "core/globals.h"
#include "platform/platform.h"
#include "tests/support/file_tree.h"
#include "tests/support/process_runner.h"
#include "tests/support/project_builder.h"
#include "tests/support/seeded_random.h"
#include "tests/support/temp_dir.h"

namespace {

// The child's part: one save as LVN_SAVE_KILL says ("mode project output").
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

// How many temporary files stand below the folder.
long temporaries(const std::string& root) {
  const std::vector<std::string> all = tree_listing(root);
  return std::count_if(all.begin(), all.end(),
                       [](const std::string& e) { return e.find(platform::kTemporarySuffix) != std::string::npos; });
}
std::string url_in(const std::string& file, const char* section = "InternetShortcut", const char* key = "URL") {
  return platform::profile_read(file, section, key, "", 1000);
}

class SaveKillTest : public ::testing::Test {
 protected:
  // One save to `output` in a child. Without `kill` it runs to its end and
  // sets how late a kill may come; with it, it is killed at a random moment
  // within that time, counted from when a temporary file stands in `watched`
  // (if given). True when the save ended, or the kill found the child running.
  bool save(int mode, const std::string& output, bool kill, const std::string& watched = "") {
    ProcessOptions options;
    options.program = platform::module_path();
    options.arguments = {"--gtest_filter=SaveKillChild.DISABLED_Saves", "--gtest_also_run_disabled_tests"};
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
    for (int waited = 0; !watched.empty() && !temporaries(watched) && child.wait(0) == -1 && waited < 5000; ++waited)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<long>(0, save_ms)(random)));
    child.send_signal(SIGKILL);
    return child.wait(10000) == 128 + SIGKILL;
  }

  long save_ms = 1;
  std::mt19937 random = seeded_random();
  TempDir dir;
  const std::string project = dir.file("p.lvn");
};

TEST_F(SaveKillTest, KilledBookmarkFileSaveLeavesTheOldFileWhole) {
  std::vector<LVK_URL> records;
  for (int i = 0; i < 8000; ++i)
    records.push_back(make_record("http://site/" + std::string(200, 'a' + i % 26),
                                  "F" + std::to_string(i / 50) + "\\B" + std::to_string(i) + ".URL", 1,
                                  i % 7 == 0 ? quarantine : keep));
  write_project_file(project, records);
  ASSERT_TRUE(save(output_bookmark_file, dir.file("expected.html"), false));
  save_ms /= 4;  // most of it went to starting the child
  const std::string expected = TempDir::read(dir.file("expected.html")), old_file = "<the old bookmarks>\r\n";
  const std::string out = dir.file("out"), output = dir.write("out/bookmarks.html", old_file);
  int mid_save = 0;
  // Under load the timing guess may miss; rounds go on until one kill lands mid-save.
  for (int round = 0; round < 10 || (mid_save == 0 && round < 40); ++round) {
    mid_save += save(output_bookmark_file, output, true, out) && temporaries(out);
    const std::string now = TempDir::read(output);
    ASSERT_TRUE(now == old_file || now == expected) << "round " << round;
  }
  EXPECT_GT(mid_save, 0);
  ASSERT_TRUE(save(output_bookmark_file, output, false));
  EXPECT_EQ(TempDir::read(output), expected);
  EXPECT_EQ(temporaries(out), 0);
}

TEST_F(SaveKillTest, KilledTreeSaveLosesNoBookmark) {
  // 300 shortcuts saved over themselves: a third quarantined, a third fixed.
  std::vector<LVK_URL> records;
  std::vector<std::string> dead;
  for (int i = 0; i < 300; ++i) {
    const std::string url = "http://site/" + std::to_string(i), folder = "F" + std::to_string(i % 10);
    const uint32_t action = i % 3 == 0 ? quarantine : i % 3 == 1 ? keep : fix;
    records.push_back(make_record(url, folder + "\\B" + std::to_string(i) + ".url", 1, action, action != keep));
    if (action != keep) dead.push_back(url);
    for (const char* root : {"tree/", "timing/"})
      dir.write(root + folder + "/B" + std::to_string(i) + ".url", "[InternetShortcut]\r\nURL=" + url + "\r\n");
  }
  std::sort(dead.begin(), dead.end());
  write_project_file(project, records);
  const std::string tree = dir.file("tree");
  const auto copies = [&] {  // the links of the whole copies in Dead Links
    std::vector<std::string> urls;
    for (const std::string& name : tree_listing(tree + "/Dead Links")) {
      const std::string file = tree + "/Dead Links/" + name;
      if (url_in(file) == url_in(file, "DEFAULT", "BASEURL")) urls.push_back(url_in(file));
    }
    std::sort(urls.begin(), urls.end());
    return urls;
  };
  ASSERT_TRUE(save(output_favorites_tree, dir.file("timing"), false));
  int mid_save = 0;
  for (int round = 0; round < 6 || (mid_save == 0 && round < 24); ++round) {
    mid_save += save(output_favorites_tree, tree, true);
    const std::vector<std::string> copied = copies();
    for (const LVK_URL& r : records)
      ASSERT_TRUE(url_in(tree + "\\" + r.path) == r.url ||
                  (r.action == quarantine && std::binary_search(copied.begin(), copied.end(), std::string(r.url))))
          << r.path << " lost in round " << round;
  }
  EXPECT_GT(mid_save, 0);
  // The next save finishes the move: one whole copy of each dead bookmark,
  // the quarantined ones gone from their folders, no temporary file.
  copy_field(project_path, sizeof project_path, project);
  copy_field(output_location, sizeof output_location, tree);
  EXPECT_EQ(write_favorites_tree(), 0u);
  EXPECT_EQ(copies(), dead);
  EXPECT_EQ(tree_listing(tree).size(), 10 + 200 + 1 + 200u);
  EXPECT_EQ(temporaries(tree), 0);
}

}  // namespace

#endif  // _WIN32
