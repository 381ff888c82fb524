#include "bookmarks/favorites_writer.h"
#include "bookmarks/save_results.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/globals.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "tests/support/file_tree.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

std::string url_in(const std::string& file) {
  return platform::profile_read(file, "InternetShortcut", "URL", "<none>", 1000);
}
std::string base_url_in(const std::string& file) {
  return platform::profile_read(file, "DEFAULT", "BASEURL", "<none>", 1000);
}
bool exists(const std::string& path) { return platform::file_attributes(path).exists; }

const std::vector<std::string> kShortcutSections = {"DEFAULT", "InternetShortcut"};

class FavoritesWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project = dir.file("project.lvn");
    out = dir.file("out");
    copy_field(project_path, sizeof project_path, project);
    set_output(out);
  }
  static void set_output(const std::string& location) {
    copy_field(output_location, sizeof output_location, location);
  }
  void save(const std::vector<LVK_URL>& records) {
    write_project_file(project, records);
    write_favorites_tree();
  }

  TempDir dir;
  std::string project, out;
};

TEST_F(FavoritesWriterTest, NewFolderGetsGoodAndFixedBookmarksAndDeadLinks) {
  save({
      make_record("http://keep/", "Keep.URL", 1, keep),
      make_record("http://kept-dead/", "KeptDead.URL", 1, keep, http_error),
      make_record("http://fixed/", "Sub\\Fix.URL", 1, fix, http_error),
      make_record("http://quarantined/", "Sub\\Quar.URL", 1, quarantine, http_error),
      make_record("http://deleted/", "Del.URL", 1, action_delete, no_connection),
      make_record("http://pending/", "Later\\Deeper\\Pending.URL", 0, keep),
      make_record("http://odd/", "Odd.URL", 1, 7),
  });
  EXPECT_EQ(tree_listing(out),
            (std::vector<std::string>{"Dead Links/", "Dead Links/Del.URL", "Dead Links/Fix.URL",
                                      "Dead Links/Quar.URL", "Keep.URL", "KeptDead.URL", "Later/",
                                      "Later/Deeper/", "Sub/", "Sub/Fix.URL"}));
  EXPECT_EQ(url_in(dir.file("out/Keep.URL")), "http://keep/");
  EXPECT_EQ(base_url_in(dir.file("out/Keep.URL")), "http://keep/");
  EXPECT_EQ(section_names(dir.file("out/Keep.URL")), kShortcutSections);
  EXPECT_EQ(url_in(dir.file("out/Sub/Fix.URL")), "http://fixed/");
  EXPECT_EQ(url_in(dir.file("out/Dead Links/Fix.URL")), "http://fixed/");
  EXPECT_EQ(url_in(dir.file("out/Dead Links/Quar.URL")), "http://quarantined/");
  EXPECT_EQ(base_url_in(dir.file("out/Dead Links/Del.URL")), "http://deleted/");
  EXPECT_EQ(section_names(dir.file("out/Dead Links/Del.URL")), kShortcutSections);
}

// Every dead bookmark keeps a copy, however many share a name; a copy that
// holds the same link already counts, so saving again adds none.
TEST_F(FavoritesWriterTest, DeadBookmarksWithOneNameEachKeepACopy) {
  write_project_file(project, {make_record("http://first/", "A\\x.URL", 1, quarantine, http_error),
                               make_record("http://second/", "B\\x.URL", 1, action_delete, 1),
                               make_record("http://third/", "C\\x.URL", 1, fix, http_error),
                               make_record("http://first/", "D\\x.URL", 1, quarantine, 1),
                               make_record("http://bare/", "E\\ab", 1, quarantine, 1),
                               make_record("http://bare-2/", "F\\ab", 1, quarantine, 1)});
  // A copy that a killed save left with its first value only is finished.
  dir.write("out/Dead Links/x.URL", "[DEFAULT]\r\nBASEURL=http://first/\r\n");
  for (int save = 0; save < 2; ++save) {
    EXPECT_EQ(write_favorites_tree(), 0u);
    EXPECT_EQ(tree_listing(dir.file("out/Dead Links")),
              (std::vector<std::string>{"ab", "ab (2)", "x (2).URL", "x (3).URL", "x.URL"}));
  }
  EXPECT_EQ(url_in(dir.file("out/Dead Links/x.URL")), "http://first/");
  EXPECT_EQ(url_in(dir.file("out/Dead Links/x (2).URL")), "http://second/");
  EXPECT_EQ(base_url_in(dir.file("out/Dead Links/x (3).URL")), "http://third/");
  EXPECT_EQ(url_in(dir.file("out/Dead Links/ab (2)")), "http://bare-2/");
}

// However the location is typed (a trailing separator, '/' with parent
// folders that do not exist yet), the same tree appears there.
TEST_F(FavoritesWriterTest, EveryFormOfTheLocationGivesTheSameTree) {
  save({make_record("http://a/", "News\\A.URL", 1, keep),
        make_record("http://b/", "B.URL", 1, quarantine, 1)});
  EXPECT_EQ(tree_listing(out),
            (std::vector<std::string>{"Dead Links/", "Dead Links/B.URL", "News/", "News/A.URL"}));
  for (const char* typed : {"other\\", "slashed/", "new/parents/out"}) {
    set_output(dir.path() + "/" + typed);
    write_favorites_tree();
    const std::string folder = dir.file(std::string(typed, std::strcspn(typed, "\\")));
    EXPECT_EQ(tree_listing(folder), tree_listing(out)) << typed;
    EXPECT_EQ(url_in(folder + "/Dead Links/B.URL"), "http://b/") << typed;
  }
}

TEST_F(FavoritesWriterTest, LineBreaksInALinkAddNoKeysToTheShortcut) {
  save({make_record("http://a/x\r\nIconFile=\\\\host\\i.ico\n[Other]\nK=v", "A.URL", 1, keep)});
  const std::string file = dir.file("out/A.URL");
  EXPECT_EQ(url_in(file), "http://a/xIconFile=\\\\host\\i.ico[Other]K=v");
  EXPECT_EQ(base_url_in(file), url_in(file));
  EXPECT_EQ(platform::profile_read(file, "InternetShortcut", "IconFile", "<none>", 100), "<none>");
  EXPECT_EQ(section_names(file), kShortcutSections);
}

TEST_F(FavoritesWriterTest, UnopenableProjectLeavesOnlyTheTwoFolders) {
  copy_field(project_path, sizeof project_path, dir.file("missing.lvn"));
  write_favorites_tree();
  EXPECT_EQ(tree_listing(out), std::vector<std::string>{"Dead Links/"});
}

TEST_F(FavoritesWriterTest, PathThatWouldNotFitIsSkippedAndTheRestWritten) {
  std::string long_path;
  while (long_path.size() < 1000 - out.size()) long_path += "Folder\\";
  long_path += "x.URL";
  write_project_file(project, {make_record("http://long/", long_path, 1, fix, http_error),
                               make_record("http://short/", "Short.URL", 1, keep)});
  EXPECT_EQ(write_favorites_tree(), 1u);
  // Not even its folders are made, nor its dead-link copy.
  EXPECT_FALSE(exists(dir.file("out/Folder")));
  EXPECT_EQ(tree_listing(out), (std::vector<std::string>{"Dead Links/", "Short.URL"}));
}

TEST_F(FavoritesWriterTest, EmptyLocationWritesNothingAtTheRoot) {
  const std::string probe = "lvn-writer-probe-" + std::to_string(std::hash<std::string>()(dir.path()));
  ASSERT_FALSE(exists("\\" + probe));
  set_output("");
  save({make_record("http://x/", probe + "\\x.URL", 1, keep)});
  EXPECT_FALSE(exists("\\" + probe));
  EXPECT_FALSE(exists(dir.file("out")));
}

// --- Dead bookmarks leave only once their copy is whole --------------------

std::string shortcut(const std::string& url) { return "[InternetShortcut]\r\nURL=" + url + "\r\n"; }

// A tree as a browser keeps it, with the records a run left for it: three
// dead bookmarks to move, one to fix, one kept and one missing.
std::vector<LVK_URL> make_dead_tree(const TempDir& dir, const std::string& root) {
  const std::vector<LVK_URL> records = {
      make_record("http://dead1/", "Dead1.url", 1, quarantine, http_error),
      make_record("http://dead2/", "News\\Dead2.url", 1, action_delete, no_connection),
      make_record("http://fix/", "News\\Fix.url", 1, fix, http_error),
      make_record("http://kept/", "Kept.url", 1, keep),
      make_record("http://new/", "News\\New.url", 1, keep),
      make_record("http://dead3/", "News\\Deep\\Dead3.url", 1, quarantine, http_error)};
  for (const LVK_URL& record : records)
    if (record.url != std::string("http://new/")) dir.write(root + "\\" + record.path, shortcut(record.url));
  return records;
}

// Every dead bookmark is in its place or whole in Dead Links; `not_moved`
// counts exactly the ones without a copy, and no temporary file is left.
void expect_every_bookmark_kept(const std::string& root, const std::vector<LVK_URL>& records,
                                size_t not_moved) {
  std::vector<std::string> copies;
  for (const std::string& name : tree_listing(root + "/Dead Links"))
    copies.push_back(url_in(root + "/Dead Links/" + name) + base_url_in(root + "/Dead Links/" + name));
  size_t without_copy = 0;
  for (const LVK_URL& record : records) {
    const std::string url = record.url;
    const bool copied = std::count(copies.begin(), copies.end(), url + url) > 0;
    if (record.action == keep || copied) continue;
    ++without_copy;
    EXPECT_EQ(url_in(root + "\\" + record.path), url);
  }
  EXPECT_EQ(without_copy, not_moved);
  for (const std::string& entry : tree_listing(root))
    EXPECT_EQ(entry.find(platform::kTemporarySuffix), std::string::npos) << entry;
}

TEST_F(FavoritesWriterTest, FailedCopiesLeaveBookmarksInPlaceAndAreCounted) {
  const std::vector<LVK_URL> records = make_dead_tree(dir, "clean");
  write_project_file(project, records);
  set_output(dir.file("clean"));
  platform::ScopedFaultPlan count({});
  EXPECT_EQ(write_favorites_tree(), 0u);
  const uint64_t writes = platform::faults::writes_seen(), renames = platform::faults::renames_seen();
  expect_every_bookmark_kept(dir.file("clean"), records, 0);
  EXPECT_EQ(tree_listing(dir.file("clean")),
            (std::vector<std::string>{"Dead Links/", "Dead Links/Dead1.url", "Dead Links/Dead2.url",
                                      "Dead Links/Dead3.url", "Dead Links/Fix.url", "Kept.url",
                                      "News/", "News/Deep/", "News/Fix.url", "News/New.url"}));
  ASSERT_GE(writes, 8u);

  std::vector<platform::FaultPlan> plans;
  for (uint64_t n = 1; n <= writes; ++n) plans.push_back({n, 5, -1, 0});
  for (uint64_t n = 1; n <= renames; ++n) plans.push_back({0, 0, -1, n});
  for (int64_t space : {0, 40, 200}) plans.push_back({0, 0, space, 0});
  for (size_t round = 0; round < plans.size(); ++round) {
    const std::string root = dir.file("t" + std::to_string(round));
    SCOPED_TRACE(root);
    make_dead_tree(dir, "t" + std::to_string(round));
    set_output(root);
    platform::faults::install(plans[round]);
    const size_t not_moved = write_favorites_tree();
    platform::faults::remove();
    expect_every_bookmark_kept(root, records, not_moved);
    // The next save moves what is left, without doubling a copy.
    EXPECT_EQ(write_favorites_tree(), 0u);
    EXPECT_EQ(tree_listing(root), tree_listing(dir.file("clean")));
  }
}

std::vector<std::string> heard;
void hear(const std::string& text, const std::string&, platform::MessageIcon) {
  heard.push_back(text);
}

// A file named "Dead Links" or a copy path too long for the buffers: the
// bookmarks stay, and the save says how many.
TEST_F(FavoritesWriterTest, BookmarksThatCannotBeCopiedStayAndAreReported) {
  const std::vector<LVK_URL> records = make_dead_tree(dir, "blocked");
  write_project_file(project, records);
  dir.write("blocked/Dead Links", "not a folder");
  set_output(dir.file("blocked"));
  EXPECT_EQ(write_favorites_tree(), 4u);
  expect_every_bookmark_kept(dir.file("blocked"), records, 4);

  // Through the dispatcher the user hears of it.
  platform::set_message_hook(hear);
  console_mode = false;
  output_mode = 2;
  save_results();
  platform::set_message_hook(nullptr);
  output_mode = 0;
  EXPECT_EQ(heard, std::vector<std::string>{
                       "4 bookmarks could not be moved to Dead Links and were left in place."});

  // The copy's path would pass 999 characters where the bookmark's does not.
  std::string location = dir.file("long");
  while (location.size() < 960) location += "/" + std::string(30, 'd');
  const std::string name = std::string(999 - location.size() - 1 - 4, 'n') + ".url";
  dir.write(location.substr(dir.path().size() + 1) + "/" + name, shortcut("http://long/"));
  write_project_file(project, {make_record("http://long/", name, 1, quarantine, http_error)});
  set_output(location);
  EXPECT_EQ(write_favorites_tree(), 1u);
  EXPECT_EQ(url_in(location + "/" + name), "http://long/");
}

#ifndef _WIN32
// Linux takes "Q: dead.url" and "..." as names like any other: each record
// reaches its own file, and a record whose name had to be mended never
// removes or rewrites a file that is there.
TEST_F(FavoritesWriterTest, EveryRecordReachesOnlyItsOwnFile) {
  for (const auto& [path, url] : std::vector<std::pair<std::string, std::string>>{
           {"Q: dead.url", "http://dead/"}, {"Q_ dead.url", "http://good/"},
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
  EXPECT_FALSE(after.count("Q: dead.url"));
  EXPECT_FALSE(after.count(".../w.url"));
  for (const auto& [copy, url] : std::vector<std::pair<std::string, std::string>>{
           {"Q: dead.url", "http://dead/"}, {"x.url", "http://fixed/"}, {"y.url", "http://y/"},
           {"w.url", "http://w/"}})
    EXPECT_EQ(url_in(out + "/Dead Links/" + copy), url) << copy;
}
#endif

// --- The output folder is a boundary ---------------------------------------

TEST(ContainedRelativePath, OnlyNamesThePlatformWouldMisreadAreMended) {
  const bool windows = platform::windows_name_rules();
  const struct {
    const char* path;
    const char* posix;  // null: unchanged
    const char* windows;
  } cases[] = {
      {"A.URL", nullptr, nullptr},
      {"News\\Sport\\C.URL", nullptr, nullptr},
      {"a.b..c\\x..url", nullptr, nullptr},
      {".hidden\\..x\\x..\\y.URL", nullptr, ".hidden\\..x\\x__\\y.URL"},
      {"Re: notes\\Résumé\\ü.url", nullptr, "Re_ notes\\Résumé\\ü.url"},
      {"News \\a?b*<c>.URL", nullptr, "News_\\a?b__c_.URL"},
      {"..\\..\\x.URL", "__\\__\\x.URL", "__\\__\\x.URL"},
      {".\\x.URL", "_\\x.URL", "_\\x.URL"},
      {"...\\x.URL", nullptr, "___\\x.URL"},
      {". .\\.. \\x.URL", nullptr, "___\\___\\x.URL"},
      {"\\\\server\\share\\x.URL", "_\\_\\server\\share\\x.URL", "_\\_\\server\\share\\x.URL"},
      {"A\\\\x.URL", "A\\_\\x.URL", "A\\_\\x.URL"},
      {"C:\\Windows\\x.URL", nullptr, "C_\\Windows\\x.URL"},
      {"Q: dead.url", nullptr, "Q_ dead.url"},
      {"c:..\\x.URL", nullptr, "c___\\x.URL"},
      {"/etc/passwd", "_etc_passwd", "_etc_passwd"},
      {"a/../../x.URL", "a_.._.._x.URL", "a_.._.._x.URL"},
      {"PS/2\\AC/DC\\x.URL", "PS_2\\AC_DC\\x.URL", "PS_2\\AC_DC\\x.URL"},
      {"News\\..", "News\\__", "News\\__"},
      {"", "_", "_"},
      {"News\\", "News\\_", "News\\_"},
  };
  for (const auto& c : cases) {
    const char* mended_form = windows ? c.windows : c.posix;
    const std::string expected = mended_form ? mended_form : c.path;
    bool mended = false;
    EXPECT_EQ(contained_relative_path(c.path, &mended), expected) << c.path;
    EXPECT_EQ(mended, mended_form != nullptr) << c.path;
  }
}

// Hostile record paths: every bookmark lands inside the output folder, and
// every file outside it keeps its bytes and time stamps.
TEST_F(FavoritesWriterTest, HostileRecordPathsStayInsideTheOutputFolder) {
  // out sits four levels down, so four ".." would reach the test folder.
  set_output(out = dir.file("l1/l2/l3/out"));
  for (const char* canary : {"l1/l2/l3/canary.URL", "l1/l2/victim.URL", "l1/canary.URL",
                             "canary.URL", "l1/l2/l3/out2/x.URL", "outside/abs.URL"})
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
  std::vector<std::string> in_tree, in_dead_links;
  for (const auto& [name, entry] : capture_tree(out))
    if (!entry.is_directory)
      (name.rfind("Dead Links/", 0) == 0 ? in_dead_links : in_tree).push_back(url_in(out + "/" + name));
  for (const LVK_URL& record : records) {
    const auto count = [&](const std::vector<std::string>& urls) {
      return std::count(urls.begin(), urls.end(), std::string(record.url));
    };
    EXPECT_EQ(count(in_tree), record.action == keep || record.action == fix ? 1 : 0) << record.url;
    EXPECT_EQ(count(in_dead_links), record.action == keep ? 0 : 1) << record.url;
  }
}

}  // namespace
