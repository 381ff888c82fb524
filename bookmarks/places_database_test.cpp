// Firefox's bookmark database end to end: databases with the browser's schema
// whose content sits in the write-ahead log of a connection still open, read
// into projects by the real project creation and saved back through the
// dispatcher as JSON backups, which SQLite's own JSON reader reads back.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "bookmarks/save_results.h"
#include "core/globals.h"
#include "core/project.h"
#include "tests/support/places_builder.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

using Builder = PlacesBuilder;
using Strings = std::vector<std::string>;
const std::string kNews = "Bookmarks Menu\\News &amp; &lt;Views&gt;\\";
Strings messages;

class PlacesDatabase : public ::testing::Test {
 protected:
  PlacesDatabase() {
    platform::set_message_hook([](const std::string& text, const std::string&, platform::MessageIcon) {
      messages.push_back(text);
    });
  }
  // Each kind of item, a tag, keyword and character set, a title that is not
  // UTF-8, an empty mobile root.
  std::unique_ptr<Builder> places(const std::string& name) {
    auto b = std::make_unique<Builder>(dir.file(name));
    const int64_t news = b->folder(Builder::kMenu, "News & <Views>");  // 7
    b->bookmark(news, "Alpha", "http://a/");
    b->separator(news);
    b->bookmark(news, "Beta", "http://b/");  // 10
    b->bookmark(Builder::kMenu, "Gamma", "http://c/");
    b->bookmark(Builder::kToolbar, "Delta", "http://d/");  // 12
    b->bookmark(b->folder(Builder::kTags, "news"), "", "http://a/");  // 13, 14
    b->exec("INSERT INTO moz_keywords (keyword, place_id) VALUES ('al', 1);"
            "INSERT INTO moz_annos (place_id, anno_attribute_id, content) VALUES (1, 1, 'windows-1252')");
    b->bookmark(Builder::kUnfiled, "Eps\xff", "http://e/");  // 15
    return b;
  }
  // A new project of `source`; false, with the messages, when none is made.
  bool make(const std::string& source) {
    messages.clear();
    platform::delete_file(dir.file("p.lvn"));
    copy_field(project_path, sizeof project_path, dir.file("p.lvn"));
    copy_field(source_path, sizeof source_path, dir.file(source));
    return create_project(true);
  }
  // Saves the project as a backup at `target`: the items read back.
  Strings save(const std::string& target = "b.json") {
    copy_field(output_location, sizeof output_location, dir.file(target));
    output_mode = output_firefox_backup;
    save_results();
    return backup_items(TempDir::read(dir.file(target)));
  }
  // The first records' actions; a fix gives the second a new URL.
  void set_actions(const std::vector<uint32_t>& actions) {
    std::vector<LVK_URL> records = read_project_file(dir.file("p.lvn"));
    for (size_t i = 0; i < actions.size(); ++i) records[i].action = actions[i];
    if (actions[1] == fix) copy_field(records[1].url, kUrlSize, "http://b.fixed/");
    write_project_file(dir.file("p.lvn"), records, dir.file("places.sqlite"));
  }
  // No project, and why.
  void expect_unread(const std::string& source, const std::string& reason) {
    EXPECT_FALSE(make(source));
    EXPECT_EQ(messages, (Strings{"Cannot read the Firefox bookmark database: " + reason + ".",
                                 "ERROR: Cannot create specified project !"}));
    EXPECT_FALSE(platform::file_attributes(dir.file("p.lvn")).exists);
  }

  TempDir dir;
};

TEST_F(PlacesDatabase, RecordsAndABackupOfTheSameTreeWithTheDeadMoved) {
  auto b = places("places.sqlite");
  const std::string log = TempDir::read(dir.file("places.sqlite-wal"));
  ASSERT_GT(log.size(), 32768u);  // the whole tree is in the log
  const std::vector<Link> expected = {
      {"http://a/", kNews + "Alpha.URL"}, {"http://b/", kNews + "Beta.URL"},
      {"http://c/", "Bookmarks Menu\\Gamma.URL"}, {"http://d/", "Bookmarks Toolbar\\Delta.URL"},
      {"http://e/", "Other Bookmarks\\Eps\xff.URL"}};
  EXPECT_EQ(links_of(create_project_from(dir.file("places.sqlite"), dir.file("p.lvn"))), expected);
  // The browser's files are as they were, and its connection goes on.
  EXPECT_EQ(TempDir::read(dir.file("places.sqlite-wal")), log);
  EXPECT_TRUE(b->exec("BEGIN; DELETE FROM moz_bookmarks WHERE id = 9; ROLLBACK"));

  // All kept: every item as the database has it, and a new Dead Links.
  Strings items = save(), want = query_rows(b->connection(),
      "SELECT b.guid, ifnull(p.guid, ''), b.position, replace(b.title, x'ff', x'efbfbd'),"
      " ifnull(h.url, ''), b.dateAdded, b.lastModified, b.id, b.type, iif(h.url = 'http://a/',"
      " 'news|al|windows-1252', '||') FROM moz_bookmarks b LEFT JOIN moz_bookmarks p ON p.id ="
      " b.parent LEFT JOIN moz_places h ON h.id = b.fk ORDER BY 1");
  const std::string dead = dead_links_guid(items);
  const std::string folder = backup_item(items, dead, 11);  // a new id, after the last
  EXPECT_EQ(folder.substr(0, 27) + folder.substr(folder.size() - 8), "unfiled_____|1|Dead Links|||16|2|||");
  items.erase(std::find(items.begin(), items.end(), dead + "|" + folder));
  EXPECT_EQ(items, want);

  // Quarantined into Dead Links, fixed in place, deleted gone; the rest close up.
  set_actions({quarantine, fix, action_delete});
  items = save();
  EXPECT_EQ(items.size(), 15u);
  EXPECT_EQ(backup_item(items, Builder::guid(8), 11), dead_links_guid(items) + "|0|Alpha|http://a/|1600000000000008|"
            "1600000000000015|8|1|news|al|windows-1252");
  EXPECT_EQ(backup_item(items, Builder::guid(9)), Builder::guid(7) + "|0||");
  EXPECT_EQ(backup_item(items, Builder::guid(10)), Builder::guid(7) + "|1|Beta|http://b.fixed/");
  EXPECT_EQ(backup_item(items, Builder::guid(11)), "missing");
  // A Dead Links that Other Bookmarks has takes the new ones after its own.
  b->bookmark(b->folder(Builder::kUnfiled, "Dead Links"), "Old", "http://old/");  // 16, 17
  ASSERT_TRUE(make("places.sqlite"));
  set_actions({keep, keep, keep, quarantine});
  items = save();
  EXPECT_EQ(items.size(), 17u);
  EXPECT_EQ(backup_item(items, Builder::guid(12)), Builder::guid(16) + "|1|Delta|http://d/");
  EXPECT_TRUE(messages.empty());
}

// A change of URLs, paths or order since the project was made writes nothing
// and says so; other changes do not matter.
TEST_F(PlacesDatabase, ABackupOfChangedBookmarksIsRefused) {
  int n = 0;
  for (const auto& [sql, refused] : std::initializer_list<std::pair<const char*, bool>>{
      {"INSERT INTO moz_bookmarks (type, fk, parent, position) VALUES (1, 1, 3, 1)", true},
      {"UPDATE moz_bookmarks SET title = 'Beta 2' WHERE id = 10", true},
      {"UPDATE moz_places SET url = 'http://z/' WHERE url = 'http://d/'", true},
      {"UPDATE moz_bookmarks SET position = 3 - position WHERE id IN (8, 10)", true},
      {"DELETE FROM moz_bookmarks WHERE id = 15", true},
      {"DELETE FROM moz_bookmarks WHERE id = 9; UPDATE moz_bookmarks SET title = 't' WHERE id = 13", false}}) {
    SCOPED_TRACE(sql);
    const std::string name = std::to_string(n++) + ".sqlite";
    auto b = places(name);
    ASSERT_TRUE(make(name) && b->exec(sql));
    dir.write("old.json", "{}");
    EXPECT_EQ(save("old.json").empty(), refused);
    EXPECT_EQ(messages, refused ? Strings{"The Firefox bookmarks changed since the project was made; no backup "
                                          "was written. Please start a new project."} : Strings{});
  }
  messages.clear();
  EXPECT_TRUE(save("no-such-folder\\b.json").empty());
  EXPECT_EQ(messages, Strings{"Cannot save the Firefox bookmark backup!"});
}

// Files that are not whole bookmark databases make no project and a clear
// message; huge names, a hundred thousand bookmarks and deep nesting make a
// whole project and a whole backup.
TEST_F(PlacesDatabase, HostileDatabasesGiveAMessageOrAWholeResult) {
  const std::string huge(100000, 'n');
  // sql: run on a database with the roots, in one transaction; reason: null when read
  // whole; parsed: the items SQLite reads back, 1000 levels deep at most
  const struct { const char* what; std::string sql; const char* reason;
                 size_t records = 0, path = 0, items = 0, parsed = 0; } cases[] = {
      {"no bookmarks", "DROP TABLE moz_bookmarks", "no such table: moz_bookmarks"},
      {"no roots", "DELETE FROM moz_bookmarks WHERE id = 1", "it holds no bookmark root"},
      {"huge names", "INSERT INTO moz_places (id, url) VALUES (1, 'http://h/' || printf('%.3000c', 'u'));"
                     "INSERT INTO moz_bookmarks (id, type, parent, position, title, fk) VALUES (7, 2, 2, 0,"
                     " printf('%.100000c', 'n'), NULL), (8, 1, 7, 0, printf('%.100000c', 'n'), 1)", nullptr, 1, 999, 9, 9},
      {"100,000 bookmarks", "CREATE TEMP TABLE n AS WITH RECURSIVE c(i) AS (SELECT 7 UNION ALL SELECT i + 1"
                            " FROM c WHERE i < 100006) SELECT i FROM c; INSERT INTO moz_places (id, url)"
                            " SELECT i, 'http://x/' || i FROM n; INSERT INTO moz_bookmarks (id, type, parent,"
                            " position, title, fk) SELECT i, 1, 3, i - 7, 'b', i FROM n", nullptr, 100000,
       23, 100007, 100007},
      {"5,000 folders deep", "WITH RECURSIVE n(i) AS (SELECT 7 UNION ALL SELECT i + 1 FROM n WHERE i < 5006)"
                             " INSERT INTO moz_bookmarks (id, type, parent, position, title, fk) SELECT i,"
                             " iif(i = 5006, 1, 2), i - 1, 0, 'd', NULL FROM n", nullptr, 1, 999, 5007, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Builder(dir.file(c.what)).exec("BEGIN;" + c.sql + "; COMMIT");
    if (c.reason) {
      expect_unread(c.what, c.reason);
      continue;
    }
    ASSERT_TRUE(make(c.what));
    const std::vector<LVK_URL> records = read_project_file(dir.file("p.lvn"));
    ASSERT_EQ(records.size(), c.records);
    EXPECT_EQ(std::string(records.back().path).size(), c.path);
    EXPECT_EQ(save().size(), c.parsed);
    const std::string json = TempDir::read(dir.file("b.json"));
    size_t items = 0;
    for (size_t at = 0; (at = json.find("{\"guid\":", at)) != std::string::npos; ++at) ++items;
    EXPECT_EQ(items, c.items);
    EXPECT_EQ(json.find("\"" + huge + "\",\"index\":0") != std::string::npos, c.items == 9);
    EXPECT_TRUE(messages.empty());
  }
  // Cut short, and not a database at all.
  dir.write("cut", TempDir::read(dir.file("huge names")).substr(0, 40000));
  dir.write("junk", std::string("SQLite format 3\0", 16) + std::string(70000, 'j'));
  expect_unread("cut", "database disk image is malformed");
  expect_unread("junk", "file is not a database");
}

}  // namespace
