// The favorites tree writer: every outcome of a run, failed saves, and record
// paths that try to leave the output folder.
#include "bookmarks/favorites_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bookmarks/save_results.h"
#include "core/globals.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "tests/support/file_tree.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

using Listing = std::vector<std::string>;

std::string url_in(const std::string& file, const char* section = "InternetShortcut", const char* key = "URL") {
  return platform::profile_read(file, section, key, "<none>", 1000);
}
std::string shortcut(const std::string& url) { return "[InternetShortcut]\r\nURL=" + url + "\r\n"; }
std::string times(int n, const std::string& text) { return n ? text + times(n - 1, text) : ""; }

Listing heard;
void hear(const std::string& text, const std::string&, platform::MessageIcon) { heard.push_back(text); }

class FavoritesWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    copy_field(project_path, sizeof project_path, project);
    set_output(out);
    platform::set_message_hook(hear);
    console_mode = false;
  }
  void TearDown() override { platform::set_message_hook(nullptr), output_mode = output_nothing; }
  static void set_output(const std::string& location) { copy_field(output_location, sizeof output_location, location); }
  size_t save(const std::vector<LVK_URL>& records) {
    write_project_file(project, records);
    return write_favorites_tree();
  }
  Listing heard_from_save() {  // what the user hears when the dispatcher saves the tree
    heard.clear();
    output_mode = output_favorites_tree;
    save_results();
    return heard;
  }

  TempDir dir;
  std::string project = dir.file("project.lvn"), out = dir.file("out");
};

// Every outcome a run leaves, over a tree of the first eight: dead ones of one
// name in several folders, and (no file yet) a link with line breaks, a dead
// one kept, one not checked, an unknown action. A killed save left one copy
// with its first value only.
const std::vector<LVK_URL> kRecords = {
    make_record("http://dead1/", "Dead1.url", 1, quarantine, http_error),
    make_record("http://dead2/", "News\\Dead2.url", 1, action_delete, no_connection),
    make_record("http://fix/", "News\\Fix.url", 1, fix, http_error),
    make_record("http://kept/", "Kept.url", 1, keep),
    make_record("http://dead3/", "News\\Deep\\Dead3.url", 1, quarantine, http_error),
    make_record("http://dead3-old/", "Old\\Dead3.url", 1, action_delete, http_error),
    make_record("http://ab/", "Bare\\ab", 1, quarantine, http_error),
    make_record("http://ab-2/", "Bare2\\ab", 1, quarantine, http_error),
    make_record("http://new/x\r\nIconFile=\\\\h\\i.ico\n[Other]\nK=v", "News\\New.url", 1, keep),
    make_record("http://kept-dead/", "KeptDead.url", 1, keep, http_error),
    make_record("http://pending/", "Later\\Deeper\\Pending.url", 0, keep),
    make_record("http://odd/", "Odd.url", 1, 7)};

std::string make_tree(const TempDir& dir, const std::string& root, bool half_copy = true) {
  for (size_t i = 0; i < 8; ++i) dir.write(root + "/" + kRecords[i].path, shortcut(kRecords[i].url));
  if (half_copy) dir.write(root + "/Dead Links/Dead2.url", "[DEFAULT]\r\nBASEURL=http://dead2/\r\n");
  return dir.file(root);
}

// Every dead bookmark is in its place or whole in Dead Links; `not_moved`
// counts exactly the ones without a copy, and no temporary file is left.
void expect_every_bookmark_kept(const std::string& root, size_t not_moved) {
  Listing copies;
  for (const std::string& name : tree_listing(root + "/Dead Links")) {
    const std::string copy = root + "/Dead Links/" + name;
    copies.push_back(url_in(copy) + url_in(copy, "DEFAULT", "BASEURL"));
  }
  size_t without_copy = 0;
  for (const LVK_URL& r : kRecords) {
    const std::string url = r.url;
    if (!r.checked || r.action == keep || r.action > fix || std::count(copies.begin(), copies.end(), url + url)) continue;
    ++without_copy;
    EXPECT_EQ(url_in(root + "\\" + r.path), url);
  }
  EXPECT_EQ(without_copy, not_moved);
  for (const std::string& entry : tree_listing(root))
    EXPECT_EQ(entry.find(platform::kTemporarySuffix), std::string::npos) << entry;
}

// Whatever write or rename fails, and wherever the disk fills up, no bookmark
// is lost, and the next save finishes the job without doubling a copy.
TEST_F(FavoritesWriterTest, FailedCopiesLeaveBookmarksInPlaceAndAreCounted) {
  write_project_file(project, kRecords);
  const std::string clean = make_tree(dir, "clean");
  set_output(clean);
  platform::ScopedFaultPlan count({});
  EXPECT_EQ(write_favorites_tree(), 0u);
  const uint64_t writes = platform::faults::writes_seen(), renames = platform::faults::renames_seen();
  ASSERT_GE(writes, 8u);
  expect_every_bookmark_kept(clean, 0);
  EXPECT_EQ(tree_listing(clean),
            (Listing{"Bare/", "Bare2/", "Dead Links/", "Dead Links/Dead1.url", "Dead Links/Dead2.url",
                     "Dead Links/Dead3 (2).url", "Dead Links/Dead3.url", "Dead Links/Fix.url", "Dead Links/ab",
                     "Dead Links/ab (2)", "Kept.url", "KeptDead.url", "Later/", "Later/Deeper/", "News/",
                     "News/Deep/", "News/Fix.url", "News/New.url", "Old/"}));
  // Line breaks in a link add no keys or sections: BASEURL first, then the link alone.
  const std::string added = clean + "/News/New.url";
  EXPECT_EQ(url_in(added, "DEFAULT", "BASEURL") + url_in(added), times(2, "http://new/xIconFile=\\\\h\\i.ico[Other]K=v"));
  EXPECT_EQ(TempDir::read(added).find("[DEFAULT]"), 0u);

  std::vector<platform::FaultPlan> plans;
  for (uint64_t n = 1; n <= writes; ++n) plans.push_back({n, 5, -1, 0});
  for (uint64_t n = 1; n <= renames; ++n) plans.push_back({0, 0, -1, n});
  for (int64_t space : {0, 40, 200}) plans.push_back({0, 0, space, 0});
  for (size_t round = 0; round < plans.size(); ++round) {
    const std::string root = make_tree(dir, "t" + std::to_string(round));
    SCOPED_TRACE(root);
    set_output(root);
    platform::faults::install(plans[round]);
    const size_t not_moved = write_favorites_tree();
    platform::faults::remove();
    expect_every_bookmark_kept(root, not_moved);
    EXPECT_EQ(write_favorites_tree(), 0u);
    EXPECT_EQ(tree_listing(root), tree_listing(clean));
  }
}

// A file named "Dead Links", or a copy's path or a bookmark's own too long
// for the buffers: the bookmarks stay, and the save says how many. Without a
// location nothing is written.
TEST_F(FavoritesWriterTest, BookmarksThatCannotBeWrittenStayAndAreReported) {
  write_project_file(project, kRecords);
  const std::string blocked = make_tree(dir, "blocked", false);
  dir.write("blocked/Dead Links", "not a folder");
  set_output(blocked);
  EXPECT_EQ(write_favorites_tree(), 7u);
  expect_every_bookmark_kept(blocked, 7);
  EXPECT_EQ(heard_from_save(), Listing{"7 bookmarks could not be moved to Dead Links and were left in place."});

  // Not even the folders of a path past 999 characters are made.
  set_output(out);
  std::string deep;
  while (deep.size() < 1000 - out.size()) deep += "Folder\\";
  EXPECT_EQ(save({make_record("http://long/", deep + "x.URL", 1, fix, http_error),
                  make_record("http://short/", "Short.URL", 1, keep)}), 1u);
  EXPECT_EQ(tree_listing(out), (Listing{"Dead Links/", "Short.URL"}));

  // The copy's path would pass 999 characters where the bookmark's does not.
  std::string location = dir.file("long");
  while (location.size() < 960) location += "/" + std::string(30, 'd');
  const std::string name = std::string(999 - location.size() - 1 - 4, 'n') + ".url";
  dir.write(location.substr(dir.path().size() + 1) + "/" + name, shortcut("http://long/"));
  set_output(location);
  EXPECT_EQ(save({make_record("http://long/", name, 1, quarantine, http_error)}), 1u);
  EXPECT_EQ(url_in(location + "/" + name), "http://long/");
  EXPECT_EQ(heard_from_save(), Listing{"1 bookmark could not be moved to Dead Links and was left in place."});

  // Without a location nothing is written at the root of the drive.
  const std::string probe = "\\lvn-writer-probe-" + std::to_string(std::hash<std::string>()(dir.path()));
  ASSERT_FALSE(platform::file_attributes(probe).exists);
  set_output("");
  save({make_record("http://x/", probe.substr(1) + "\\x.URL", 1, keep)});
  EXPECT_FALSE(platform::file_attributes(probe).exists);
}

TEST(ContainedRelativePath, OnlyNamesThePlatformWouldMisreadAreMended) {
  const struct {
    const char *path, *posix, *windows;  // null: unchanged
  } cases[] = {
      {".hidden\\..x\\x..\\y.URL", nullptr, ".hidden\\..x\\x__\\y.URL"},
      {"Re: notes\\Résumé\\ü.url", nullptr, "Re_ notes\\Résumé\\ü.url"},
      {"News \\a?b*<c>.URL", nullptr, "News_\\a?b__c_.URL"},
      {".\\x.URL", "_\\x.URL", "_\\x.URL"},
      {". .\\.. \\...\\x.URL", nullptr, "___\\___\\___\\x.URL"},
      {"\\\\server\\share\\x.URL", "_\\_\\server\\share\\x.URL", "_\\_\\server\\share\\x.URL"},
      {"C:\\Windows\\x.URL", nullptr, "C_\\Windows\\x.URL"},
      {"c:..\\x.URL", nullptr, "c___\\x.URL"},
      {"", "_", "_"},
      {"News\\", "News\\_", "News\\_"},
  };
  for (const auto& c : cases) {
    const char* mended_form = platform::windows_name_rules() ? c.windows : c.posix;
    bool mended = false;
    EXPECT_EQ(contained_relative_path(c.path, &mended), mended_form ? mended_form : c.path) << c.path;
    EXPECT_EQ(mended, mended_form != nullptr) << c.path;
  }
}

#ifndef _WIN32
// Linux takes "Q: dead.url" and "..." as names like any other: each record
// reaches its own file, and a record whose name had to be mended never
// removes or rewrites a file that is there.
TEST_F(FavoritesWriterTest, EveryRecordReachesOnlyItsOwnFile) {
  for (const auto& [path, url] : std::vector<Link>{{"Q: dead.url", "http://dead/"}, {"Q_ dead.url", "http://good/"},
                                                  {"__/x.url", "http://other/"}, {"_/y.url", "http://y/"},
                                                  {".../z.url", "http://z/"}, {".../w.url", "http://w/"}})
    age_file(dir.write("out/" + path, shortcut(url)));
  const auto before = capture_tree(out);
  save({make_record("http://dead/", "Q: dead.url", 1, quarantine, http_error),
        make_record("http://good/", "Q_ dead.url", 1, keep),
        make_record("http://fixed/", "..\\x.url", 1, fix, http_error),
        make_record("http://y/", ".\\y.url", 1, quarantine, http_error),
        make_record("http://z/", "...\\z.url", 1, keep),
        make_record("http://w/", "...\\w.url", 1, action_delete, http_error)});
  const auto after = capture_tree(out);
  for (const char* untouched : {"Q_ dead.url", "__/x.url", "_/y.url", ".../z.url"})
    EXPECT_EQ(after.at(untouched), before.at(untouched)) << untouched;
  EXPECT_FALSE(after.count("Q: dead.url") || after.count(".../w.url"));
  for (const auto& [copy, url] : std::vector<Link>{{"Q: dead.url", "http://dead/"}, {"x.url", "http://fixed/"},
                                                  {"y.url", "http://y/"}, {"w.url", "http://w/"}})
    EXPECT_EQ(url_in(out + "/Dead Links/" + copy), url) << copy;
}
#endif

// Hostile record paths: every bookmark lands inside the output folder, and
// every file outside it keeps its bytes and time stamps.
TEST_F(FavoritesWriterTest, HostileRecordPathsStayInsideTheOutputFolder) {
  // out sits four levels down, so four ".." would reach the test folder.
  set_output(out = dir.file("l1/l2/l3/out"));
  for (const char* canary : {"l1/l2/l3/canary.URL", "l1/l2/victim.URL", "l1/canary.URL", "canary.URL",
                             "l1/l2/l3/out2/x.URL", "outside/abs.URL"})
    age_file(dir.write(canary, shortcut(std::string("http://canary/") + canary)));
  const auto before = capture_tree(dir.path(), {"l1/l2/l3/out", "project.lvn"});
  const std::vector<LVK_URL> records = {
      make_record("http://evil/1", "..\\canary.URL", 1, fix, http_error),
      make_record("http://evil/2", "..\\..\\victim.URL", 1, quarantine, http_error),
      make_record("http://evil/3", "..\\..\\..\\canary.URL", 1, action_delete, http_error),
      make_record("http://evil/4", "..\\..\\..\\..\\canary.URL", 1, keep),
      make_record("http://evil/5", "..\\out2\\x.URL", 1, fix, http_error),
      make_record("http://evil/6", "../../victim.URL", 1, fix, http_error),
      make_record("http://evil/7", dir.file("outside") + "\\abs.URL", 1, fix, http_error),
      make_record("http://evil/8", "C:\\drive.URL", 1, keep),
      make_record("http://evil/9", "\\rooted.URL", 1, keep),
      make_record("http://evil/10", ". .\\..\\dots.URL", 1, keep),
      make_record("http://evil/11", "Sub\\..", 1, fix, http_error)};
  save(records);
  EXPECT_EQ(capture_tree(dir.path(), {"l1/l2/l3/out", "project.lvn"}), before);
  // Each bookmark is inside: in the tree unless removed, in Dead Links if dead.
  Listing in_tree, in_dead_links;
  for (const std::string& name : tree_listing(out))
    if (name.back() != '/')
      (name.rfind("Dead Links/", 0) == 0 ? in_dead_links : in_tree).push_back(url_in(out + "/" + name));
  for (const LVK_URL& record : records) {
    const std::string url = record.url;
    const bool removed = record.action == quarantine || record.action == action_delete;
    EXPECT_EQ(std::count(in_tree.begin(), in_tree.end(), url), removed ? 0 : 1) << url;
    EXPECT_EQ(std::count(in_dead_links.begin(), in_dead_links.end(), url), record.action == keep ? 0 : 1) << url;
  }
}

}  // namespace
