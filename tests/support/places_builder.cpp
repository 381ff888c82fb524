#include "tests/support/places_builder.h"

#include <sqlite3.h>

#include <regex>

#include "platform/platform.h"

namespace {

// The columns the browser's tables have that bookmarks are read from.
const char kSchema[] =
    "PRAGMA page_size = 32768; PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;"
    "PRAGMA synchronous = OFF;"
    "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR);"
    "CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL,"
    " parent INTEGER, position INTEGER, title LONGVARCHAR, dateAdded INTEGER, lastModified INTEGER,"
    " guid TEXT);"
    "CREATE TABLE moz_keywords (id INTEGER PRIMARY KEY, keyword TEXT UNIQUE, place_id INTEGER);"
    "CREATE TABLE moz_anno_attributes (id INTEGER PRIMARY KEY, name VARCHAR(32) UNIQUE NOT NULL);"
    "CREATE TABLE moz_annos (id INTEGER PRIMARY KEY, place_id INTEGER, anno_attribute_id INTEGER,"
    " content LONGVARCHAR);"
    "CREATE INDEX moz_bookmarks_parentindex ON moz_bookmarks (parent, position);"
    "INSERT INTO moz_anno_attributes VALUES (1, 'URIProperties/characterSet');"
    "INSERT INTO moz_bookmarks (id, type, parent, position, title, dateAdded, lastModified, guid)"
    " VALUES (1, 2, 0, 0, '', 1, 1, 'root________'), (2, 2, 1, 0, 'menu', 2, 2, 'menu________'),"
    " (3, 2, 1, 1, 'toolbar', 3, 3, 'toolbar_____'), (4, 2, 1, 2, 'tags', 4, 4, 'tags________'),"
    " (5, 2, 1, 3, 'unfiled', 5, 5, 'unfiled_____'), (6, 2, 1, 4, 'mobile', 6, 6, 'mobile______');";

}  // namespace

PlacesBuilder::PlacesBuilder(const std::string& path) {
  sqlite3_open(platform::utf8_file_name(path).c_str(), &db_);
  exec(kSchema);
}

PlacesBuilder::~PlacesBuilder() { sqlite3_close(db_); }

bool PlacesBuilder::exec(const std::string& sql) {
  return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string PlacesBuilder::guid(int64_t id) {
  const std::string digits = std::to_string(id % 100000000);
  return "guid" + std::string(8 - digits.size(), '0') + digits;
}

// The next id, last among its parent's children, one place per URL; each item
// is added at a time of its own and modified 7 microseconds later.
int64_t PlacesBuilder::item(int64_t parent, int type, const std::string& title,
                            const std::string& url) {
  const std::string at = std::to_string(parent);
  query_rows(db_, "INSERT INTO moz_places (url) SELECT ?1 WHERE ?1 <> '' EXCEPT SELECT url FROM moz_places", {url});
  query_rows(db_, "INSERT INTO moz_bookmarks (id, type, parent, title, fk, guid, dateAdded, lastModified, position)"
                  " SELECT n, " + std::to_string(type) + ", " + at + ", ?1, (SELECT id FROM moz_places WHERE"
                  " url = ?2), printf('guid%08d', n), 1600000000000000 + n, 1600000000000007 + n, (SELECT"
                  " count(*) FROM moz_bookmarks WHERE parent = " + at + ") FROM (SELECT max(id) + 1 n FROM"
                  " moz_bookmarks)", {title, url});
  return sqlite3_last_insert_rowid(db_);
}

std::vector<std::string> query_rows(sqlite3* db, const std::string& sql,
                                    const std::vector<std::string>& bound) {
  std::vector<std::string> out;
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
  for (size_t i = 0; i < bound.size(); ++i)
    sqlite3_bind_text(statement, static_cast<int>(i + 1), bound[i].data(), static_cast<int>(bound[i].size()), SQLITE_STATIC);
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

std::vector<std::string> backup_items(const std::string& json) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  std::string fields;
  for (const char* key : {"index", "title", "uri", "dateAdded", "lastModified", "id", "typeCode",
                          "tags", "keyword", "charset"})
    fields += std::string(", ifnull(max(CASE f.key WHEN '") + key + "' THEN f.value END), '')";
  std::vector<std::string> items;
  if (query_rows(db, "SELECT json_valid(?1)", {json}) == std::vector<std::string>{"1"}) {
    query_rows(db, "CREATE TABLE t AS SELECT id, parent, key, value, type FROM json_tree(?1)", {json});
    query_rows(db, "CREATE INDEX up ON t (parent)");
    // An item's parent is the folder whose "children" array holds it.
    items = query_rows(db, "SELECT max(CASE f.key WHEN 'guid' THEN f.value END), ifnull((SELECT "
                           "g.value FROM t a JOIN t g ON g.parent = a.parent AND g.key = 'guid' "
                           "WHERE a.id = o.parent), '')" + fields + " FROM t o JOIN t f ON "
                           "f.parent = o.id WHERE o.type = 'object' GROUP BY o.id ORDER BY 1");
  }
  sqlite3_close(db);
  return items;
}

std::string backup_item(const std::vector<std::string>& items, const std::string& guid, int fields) {
  for (const std::string& item : items) {
    if (item.compare(0, guid.size() + 1, guid + "|") != 0) continue;
    size_t end = guid.size();
    for (int field = 0; field < fields && end != std::string::npos; ++field) end = item.find('|', end + 1);
    return item.substr(guid.size() + 1, end == std::string::npos ? end : end - guid.size() - 1);
  }
  return "missing";
}

std::string dead_links_guid(const std::vector<std::string>& items) {
  static const std::regex folder("([^|]*)\\|unfiled_____\\|[0-9]*\\|Dead Links\\|.*");
  std::smatch found;
  for (const std::string& item : items)
    if (std::regex_match(item, found, folder)) return found[1];
  return "none";
}
