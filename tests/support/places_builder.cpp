#include "tests/support/places_builder.h"

#include <sqlite3.h>

#include "platform/platform.h"

namespace {

const char kSchema[] =
    "PRAGMA page_size = 32768; PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;"
    "PRAGMA synchronous = OFF;"
    "CREATE TABLE moz_origins (id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL,"
    " frecency INTEGER NOT NULL, UNIQUE (prefix, host));"
    "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR,"
    " rev_host LONGVARCHAR, visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL,"
    " typed INTEGER DEFAULT 0 NOT NULL, frecency INTEGER DEFAULT -1 NOT NULL,"
    " last_visit_date INTEGER, guid TEXT, foreign_count INTEGER DEFAULT 0 NOT NULL,"
    " url_hash INTEGER DEFAULT 0 NOT NULL, description TEXT, preview_image_url TEXT,"
    " site_name TEXT, origin_id INTEGER REFERENCES moz_origins(id));"
    "CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL,"
    " parent INTEGER, position INTEGER, title LONGVARCHAR, keyword_id INTEGER, folder_type TEXT,"
    " dateAdded INTEGER, lastModified INTEGER, guid TEXT, syncStatus INTEGER NOT NULL DEFAULT 0,"
    " syncChangeCounter INTEGER NOT NULL DEFAULT 1);"
    "CREATE TABLE moz_keywords (id INTEGER PRIMARY KEY AUTOINCREMENT, keyword TEXT UNIQUE,"
    " place_id INTEGER, post_data TEXT);"
    "CREATE TABLE moz_anno_attributes (id INTEGER PRIMARY KEY, name VARCHAR(32) UNIQUE NOT NULL);"
    "CREATE TABLE moz_annos (id INTEGER PRIMARY KEY, place_id INTEGER NOT NULL,"
    " anno_attribute_id INTEGER, content LONGVARCHAR, flags INTEGER DEFAULT 0,"
    " expiration INTEGER DEFAULT 0, type INTEGER DEFAULT 0, dateAdded INTEGER DEFAULT 0,"
    " lastModified INTEGER DEFAULT 0);"
    "CREATE INDEX moz_bookmarks_itemindex ON moz_bookmarks (fk, type);"
    "CREATE INDEX moz_bookmarks_parentindex ON moz_bookmarks (parent, position);"
    "CREATE UNIQUE INDEX moz_bookmarks_guid_uniqueindex ON moz_bookmarks (guid);"
    "INSERT INTO moz_bookmarks (id, type, parent, position, title, dateAdded, lastModified, guid)"
    " VALUES (1, 2, 0, 0, '', 1, 1, 'root________'), (2, 2, 1, 0, 'menu', 2, 2, 'menu________'),"
    " (3, 2, 1, 1, 'toolbar', 3, 3, 'toolbar_____'), (4, 2, 1, 2, 'tags', 4, 4, 'tags________'),"
    " (5, 2, 1, 3, 'unfiled', 5, 5, 'unfiled_____'), (6, 2, 1, 4, 'mobile', 6, 6, 'mobile______');";

// Runs one statement with two texts and two numbers bound; the new row's id.
int64_t run(sqlite3* db, const char* sql, const std::string& a, const std::string& b,
            int64_t c = 0, int64_t d = 0) {
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  sqlite3_bind_text(statement, 1, a.data(), static_cast<int>(a.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(statement, 2, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int64(statement, 3, c);
  sqlite3_bind_int64(statement, 4, d);
  const int status = sqlite3_step(statement);
  sqlite3_finalize(statement);
  return status == SQLITE_DONE ? sqlite3_last_insert_rowid(db) : -1;
}

}  // namespace

PlacesBuilder::PlacesBuilder(const std::string& path) {
  sqlite3_open(platform::utf8_file_name(path).c_str(), &db_);
  exec(kSchema);
  for (int64_t root = 1; root <= kMobile; ++root) children_[root] = 0;
  children_[1] = 5;
}

PlacesBuilder::~PlacesBuilder() { sqlite3_close(db_); }

bool PlacesBuilder::exec(const std::string& sql) {
  return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string PlacesBuilder::guid(int64_t id) {
  const std::string digits = std::to_string(id % 100000000);
  return "guid" + std::string(8 - digits.size(), '0') + digits;
}

int64_t PlacesBuilder::place(const std::string& url) {
  auto found = places_.find(url);
  if (found != places_.end()) return found->second;
  const int64_t id = run(db_, "INSERT INTO moz_places (url, guid, frecency) VALUES (?1, ?2, ?3)",
                         url, "p" + std::to_string(places_.size()), 100);
  places_[url] = id;
  return id;
}

int64_t PlacesBuilder::item(int64_t parent, int type, const std::string& title, int64_t place) {
  // Ids follow each other; each item is added at a time of its own and
  // modified seven microseconds later.
  const int64_t id = ++last_id_;
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db_,
                     "INSERT INTO moz_bookmarks (id, type, fk, parent, position, title, dateAdded,"
                     " lastModified, guid) VALUES (?1, ?2, nullif(?3, 0), ?4, ?5, ?6,"
                     " 1600000000000000 + ?1, 1600000000000007 + ?1, ?7)",
                     -1, &statement, nullptr);
  const std::string item_guid = guid(id);
  const int64_t values[] = {id, type, place, parent, children_[parent]++};
  for (int i = 0; i < 5; ++i) sqlite3_bind_int64(statement, i + 1, values[i]);
  sqlite3_bind_text(statement, 6, title.data(), static_cast<int>(title.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(statement, 7, item_guid.data(), 12, SQLITE_TRANSIENT);
  const int status = sqlite3_step(statement);
  sqlite3_finalize(statement);
  return status == SQLITE_DONE ? id : -1;
}

int64_t PlacesBuilder::folder(int64_t parent, const std::string& title) {
  const int64_t id = item(parent, 2, title, 0);
  children_[id] = 0;
  return id;
}

int64_t PlacesBuilder::bookmark(int64_t parent, const std::string& title, const std::string& url) {
  return item(parent, 1, title, place(url));
}

int64_t PlacesBuilder::separator(int64_t parent) { return item(parent, 3, "", 0); }

void PlacesBuilder::tag(const std::string& url, const std::string& name) {
  auto found = tags_.find(name);
  const int64_t folder_id =
      found != tags_.end() ? found->second : (tags_[name] = folder(kTags, name));
  bookmark(folder_id, "", url);
}

void PlacesBuilder::keyword(const std::string& url, const std::string& word) {
  run(db_, "INSERT INTO moz_keywords (keyword, place_id) VALUES (?1, ?3)", word, "", place(url));
}

void PlacesBuilder::charset(const std::string& url, const std::string& name) {
  if (attribute_ == 0)
    attribute_ = run(db_, "INSERT INTO moz_anno_attributes (name) VALUES (?1)",
                     "URIProperties/characterSet", "");
  run(db_, "INSERT INTO moz_annos (place_id, anno_attribute_id, content) VALUES (?3, ?4, ?1)",
      name, "", place(url), attribute_);
}
