// Firefox's bookmark database end to end: databases with the browser's schema
// whose latest changes sit in the write-ahead log of a connection still open,
// read into projects by the real project creation, and saved back through
// the dispatcher as a JSON backup, which SQLite's own JSON reader reads back.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "bookmarks/save_results.h"
#include "core/globals.h"
#include "core/project.h"
#include "platform/platform.h"
#include "tests/support/places_builder.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

using Builder = PlacesBuilder;
const std::string kMenu = "Bookmarks Menu\\", kNews = kMenu + "News &amp; &lt;Views&gt;\\";

std::vector<std::string> messages;
void capture(const std::string& text, const std::string&, platform::MessageIcon) {
  messages.push_back(text);
}

// Rows of one query as "a|b|c" lines, on a connection of the test's.
std::vector<std::string> rows(sqlite3* db, const std::string& sql, const std::string& bound = "") {
  std::vector<std::string> out;
  sqlite3_stmt* statement = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK) << sql;
  sqlite3_bind_text(statement, 1, bound.data(), static_cast<int>(bound.size()), SQLITE_STATIC);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      const unsigned char* text = sqlite3_column_text(statement, i);
      row += (i ? "|" : "") + std::string(text ? reinterpret_cast<const char*>(text) : "");
    }
    out.push_back(row);
  }
  sqlite3_finalize(statement);
  return out;
}

// Every item of a backup as "guid|parent guid|index|title|uri|dateAdded|
// lastModified|id|typeCode|tags|keyword|charset", by guid; none when the
// backup is not JSON.
std::vector<std::string> backup_items(const std::string& json) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  std::vector<std::string> items;
  if (rows(db, "SELECT json_valid(?1)", json) == std::vector<std::string>{"1"}) {
    sqlite3_exec(db, "CREATE TABLE t (id, parent, key, value, type)", nullptr, nullptr, nullptr);
    rows(db, "INSERT INTO t SELECT id, parent, key, value, type FROM json_tree(?1)", json);
    sqlite3_exec(db, "CREATE INDEX up ON t (parent)", nullptr, nullptr, nullptr);
    std::string fields;
    for (const char* key : {"index", "title", "uri", "dateAdded", "lastModified", "id", "typeCode",
                            "tags", "keyword", "charset"})
      fields += std::string(", ifnull(max(CASE f.key WHEN '") + key + "' THEN f.value END), '')";
    items = rows(db, "SELECT max(CASE f.key WHEN 'guid' THEN f.value END), ifnull((SELECT g.value "
                     "FROM t a JOIN t g ON g.parent = a.parent AND g.key = 'guid' WHERE a.id = "
                     "o.parent), '')" + fields + " FROM t o JOIN t f ON f.parent = o.id WHERE "
                     "o.type = 'object' GROUP BY o.id ORDER BY 1");
  }
  sqlite3_close(db);
  return items;
}

// The same from the database, each with what the backup should add.
std::vector<std::string> database_items(sqlite3* db) {
  return rows(db, "SELECT b.guid, ifnull(p.guid, ''), b.position, ifnull(b.title, ''), "
                  "ifnull(h.url, ''), b.dateAdded, b.lastModified, b.id, b.type, CASE h.url WHEN "
                  "'http://a/' THEN 'news,tech' ELSE '' END, CASE h.url WHEN 'http://a/' THEN 'al' "
                  "ELSE '' END, CASE h.url WHEN 'http://a/' THEN 'windows-1252' ELSE '' END FROM "
                  "moz_bookmarks b LEFT JOIN moz_bookmarks p ON p.id = b.parent LEFT JOIN "
                  "moz_places h ON h.id = b.fk WHERE b.parent > 0 OR b.id = 1 ORDER BY 1");
}

class PlacesDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    messages.clear();
    platform::set_message_hook(capture);
    console_mode = false;
  }
  void TearDown() override {
    platform::set_message_hook(nullptr);
    output_mode = output_nothing;
  }
  // The tree every case starts from: each kind of item, tags, a keyword, a
  // character set, a title that is not UTF-8, an empty mobile root.
  std::unique_ptr<Builder> places(const std::string& name = "places.sqlite") {
    auto b = std::make_unique<Builder>(dir.file(name));
    const int64_t news = b->folder(Builder::kMenu, "News & <Views>");
    b->bookmark(news, "Alpha", "http://a/");  // 8
    b->separator(news);
    b->bookmark(news, "Beta", "http://b/");  // 10
    b->bookmark(Builder::kMenu, "Gamma", "http://c/");
    b->bookmark(Builder::kToolbar, "Delta", "http://d/");
    b->tag("http://a/", "tech");
    b->tag("http://a/", "news");
    b->keyword("http://a/", "al");
    b->charset("http://a/", "windows-1252");
    b->bookmark(Builder::kUnfiled, "Eps\xff", "http://e/");  // 17
    return b;
  }
  std::vector<LVK_URL> project_of(const std::string& source) {
    return create_project_from(source, dir.file("p.lvn"));
  }
  // Saves the project as a backup; the file's text.
  std::string save(const std::string& target = "backup.json") {
    copy_field(project_path, sizeof project_path, dir.file("p.lvn"));
    copy_field(output_location, sizeof output_location, dir.file(target));
    output_mode = output_firefox_backup;
    save_results();
    return TempDir::read(dir.file(target));
  }

  TempDir dir;
};

TEST_F(PlacesDatabase, EveryBookmarkIsARecordAndAllKeptGivesTheSameTree) {
  auto b = places();
  const std::string wal_before = TempDir::read(dir.file("places.sqlite-wal"));
  ASSERT_GT(wal_before.size(), 32768u);  // the whole tree is in the log
  const std::vector<Link> expected = {
      {"http://a/", kNews + "Alpha.URL"}, {"http://b/", kNews + "Beta.URL"},
      {"http://c/", kMenu + "Gamma.URL"}, {"http://d/", "Bookmarks Toolbar\\Delta.URL"},
      {"http://e/", "Other Bookmarks\\Eps\xff.URL"}};
  EXPECT_EQ(links_of(project_of(dir.file("places.sqlite"))), expected);
  // The browser's files are as they were and its connection goes on.
  EXPECT_EQ(TempDir::read(dir.file("places.sqlite-wal")), wal_before);
  EXPECT_NE(b->bookmark(Builder::kMobile, "Later", "http://later/"), -1);
  b->exec("DELETE FROM moz_bookmarks WHERE title = 'Later'");

  std::vector<std::string> items = backup_items(save());
  const std::string dead_links = "|unfiled_____|1|Dead Links||";
  ASSERT_EQ(items.size(), 18u);
  const auto dead = std::find_if(items.begin(), items.end(), [&](const std::string& item) {
    return item.find(dead_links) == 12;
  });
  ASSERT_NE(dead, items.end());
  EXPECT_NE(dead->find("|18|2|||"), std::string::npos) << *dead;  // a new id after the last
  items.erase(dead);
  std::vector<std::string> want = database_items(b->connection());
  for (std::string& item : want)  // what is not UTF-8 becomes U+FFFD
    if (item.find("Eps\xff") != std::string::npos) item.replace(item.find("Eps\xff"), 4, "Eps\xef\xbf\xbd");
  EXPECT_EQ(items, want);
  EXPECT_TRUE(messages.empty());
}

// An item's line in a backup's items, without its guid; "missing" when none.
std::string item_of(const std::vector<std::string>& items, const std::string& guid) {
  for (const std::string& item : items)
    if (item.compare(0, guid.size() + 1, guid + "|") == 0) return item.substr(guid.size() + 1);
  return "missing";
}
// Its "parent|index|title|uri".
std::string place_of(const std::vector<std::string>& items, const std::string& guid) {
  const std::string item = item_of(items, guid);
  size_t end = 0;
  for (int bar = 0; bar < 4 && end != std::string::npos; ++bar) end = item.find('|', end + 1);
  return item.substr(0, end);
}
std::string dead_links_in(const std::vector<std::string>& items) {
  for (const std::string& item : items)
    if (item.find("|unfiled_____|1|Dead Links|") == 12) return item.substr(0, 12);
  return "none";
}

// Quarantined bookmarks move into Dead Links with their own fields, fixed
// ones get their new URL in place, deleted ones go; the rest close up. A
// Dead Links folder that Other Bookmarks already has takes the new ones.
TEST_F(PlacesDatabase, DeadFixedAndDeletedBookmarksArePlacedAsTheProjectSays) {
  auto b = places();
  std::vector<LVK_URL> records = project_of(dir.file("places.sqlite"));
  const uint32_t actions[] = {quarantine, fix, action_delete, keep, keep};
  for (size_t i = 0; i < records.size(); ++i) records[i].action = actions[i];
  copy_field(records[1].url, kUrlSize, "http://b.fixed/");
  write_project_file(dir.file("p.lvn"), records, dir.file("places.sqlite"));
  std::vector<std::string> items = backup_items(save());
  ASSERT_EQ(items.size(), 17u);
  const std::string dead = dead_links_in(items);
  EXPECT_EQ(place_of(items, Builder::guid(8)), dead + "|0|Alpha|http://a/");
  EXPECT_NE(item_of(items, Builder::guid(8)).find("|news,tech|al|windows-1252"), std::string::npos);
  EXPECT_EQ(place_of(items, Builder::guid(9)), Builder::guid(7) + "|0||");
  EXPECT_EQ(place_of(items, Builder::guid(10)), Builder::guid(7) + "|1|Beta|http://b.fixed/");
  EXPECT_EQ(item_of(items, Builder::guid(11)), "missing");
  EXPECT_EQ(place_of(items, Builder::guid(12)), "toolbar_____|0|Delta|http://d/");

  const int64_t folder = b->folder(Builder::kUnfiled, "Dead Links");  // 18
  b->bookmark(folder, "Old", "http://old/");
  records = project_of(dir.file("places.sqlite"));
  records[3].action = quarantine;  // Delta
  write_project_file(dir.file("p.lvn"), records, dir.file("places.sqlite"));
  items = backup_items(save());
  EXPECT_EQ(items.size(), 19u);  // no new folder
  EXPECT_EQ(place_of(items, Builder::guid(12)), Builder::guid(18) + "|1|Delta|http://d/");
  EXPECT_TRUE(messages.empty());
}

// A change of the bookmarks' URLs, paths or order since the project was made
// writes nothing and says so; other changes do not matter.
TEST_F(PlacesDatabase, ABackupOfChangedBookmarksIsRefused) {
  const struct {
    const char* what;
    const char* sql;
    bool refused;
  } cases[] = {
      {"a bookmark added", "INSERT INTO moz_bookmarks (type, fk, parent, position, guid) "
                           "VALUES (1, 1, 3, 1, 'addedaddedad')", true},
      {"a title changed", "UPDATE moz_bookmarks SET title = 'Beta 2' WHERE id = 10", true},
      {"a URL changed", "UPDATE moz_places SET url = 'http://z/' WHERE url = 'http://d/'", true},
      {"two bookmarks swapped", "UPDATE moz_bookmarks SET position = 3 - position "
                                "WHERE id IN (8, 10)", true},
      {"a bookmark removed", "DELETE FROM moz_bookmarks WHERE id = 17", true},
      {"a separator removed and a tag renamed", "DELETE FROM moz_bookmarks WHERE id = 9; "
                                              "UPDATE moz_bookmarks SET title = 't' WHERE id = 13",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    auto b = places(std::string(c.what) + ".sqlite");
    project_of(dir.file(std::string(c.what) + ".sqlite"));
    ASSERT_TRUE(b->exec(c.sql));
    dir.write("old.json", "kept");
    const std::string json = save("old.json");
    EXPECT_EQ(json == "kept", c.refused);
    EXPECT_EQ(messages.size(), c.refused ? 1u : 0u);
    if (c.refused) {
      EXPECT_NE(messages[0].find("changed since the project was made"), std::string::npos);
    }
  }
  // Nowhere to write: said, and nothing left behind.
  messages.clear();
  EXPECT_EQ(save("no-such-folder\\b.json"), "");
  EXPECT_EQ(messages, std::vector<std::string>{"Cannot save the Firefox bookmark backup!"});
}

// Files that are not whole bookmark databases make no project and a clear
// message; huge names, a hundred thousand bookmarks and deep nesting make a
// whole project and a whole backup.
TEST_F(PlacesDatabase, HostileDatabasesGiveAMessageOrAWholeResult) {
  const std::string huge(100000, 'n'), long_url = "http://h/" + std::string(3000, 'u');
  const struct {
    const char* what;
    void (*make)(PlacesBuilder&, const std::string&, const std::string&);
    const char* reason;  // null: read whole
    size_t records, items;
  } cases[] = {
      {"no bookmark tables", [](Builder& b, const std::string&, const std::string&) {
         b.exec("DROP TABLE moz_bookmarks"); }, "no such table: moz_bookmarks", 0, 0},
      {"no roots", [](Builder& b, const std::string&, const std::string&) {
         b.exec("DELETE FROM moz_bookmarks WHERE id = 1"); }, "it holds no bookmark root", 0, 0},
      {"huge names", [](Builder& b, const std::string& name, const std::string& url) {
         b.bookmark(b.folder(Builder::kMenu, name), name, url); }, nullptr, 1, 9},
      {"100,000 bookmarks", [](Builder& b, const std::string&, const std::string&) {
         b.exec("BEGIN");
         for (int i = 0; i < 100000; ++i) b.bookmark(Builder::kToolbar, "b", "http://x/" + std::to_string(i));
         b.exec("COMMIT"); }, nullptr, 100000, 100007},
      {"5,000 folders deep", [](Builder& b, const std::string&, const std::string&) {
         int64_t parent = Builder::kMobile;
         for (int i = 0; i < 5000; ++i) parent = b.folder(parent, "d");
         b.bookmark(parent, "deep", "http://deep/"); }, nullptr, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    const std::string file = dir.file(std::string(c.what) + ".sqlite");
    {
      Builder b(file);
      c.make(b, huge, long_url);
    }
    copy_field(project_path, sizeof project_path, dir.file("p.lvn"));
    copy_field(source_path, sizeof source_path, file);
    platform::delete_file(dir.file("p.lvn"));
    EXPECT_EQ(create_project(true), c.reason == nullptr);
    if (c.reason) {
      ASSERT_EQ(messages.size(), 2u);
      EXPECT_EQ(messages[0], "Cannot read the Firefox bookmark database: " + std::string(c.reason) + ".");
      EXPECT_FALSE(platform::file_attributes(dir.file("p.lvn")).exists);
      continue;
    }
    const std::vector<LVK_URL> records = read_project_file(dir.file("p.lvn"));
    ASSERT_EQ(records.size(), c.records);
    EXPECT_EQ(std::string(records.back().path).substr(std::string(records.back().path).size() - 4), ".URL");
    const std::string json = save();
    EXPECT_EQ(json.back(), '}');
    // SQLite reads JSON nested no deeper than a thousand levels.
    if (c.items) {
      EXPECT_EQ(backup_items(json).size(), c.items);
    }
    EXPECT_EQ(json.find("\"" + huge + "\",\"index\":0") != std::string::npos, c.items == 9);
    EXPECT_TRUE(messages.empty());
  }
  // Cut short, and not a database at all: nothing made, a message.
  const std::string whole = TempDir::read(dir.file("huge names.sqlite"));
  dir.write("cut.sqlite", whole.substr(0, 40000));
  dir.write("junk.sqlite", std::string("SQLite format 3\0", 16) + std::string(70000, 'j'));
  for (const char* name : {"cut.sqlite", "junk.sqlite"}) {
    messages.clear();
    copy_field(source_path, sizeof source_path, dir.file(name));
    platform::delete_file(dir.file("p.lvn"));
    EXPECT_FALSE(create_project(true)) << name;
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].find("Cannot read the Firefox bookmark database: "), 0u) << messages[0];
  }
}

}  // namespace
