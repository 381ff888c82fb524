// Firefox bookmark databases for tests, with the tables, roots and guids the
// browser gives them, and the JSON backups written from them read back by
// SQLite. The builder keeps its connection open in write-ahead-log mode, so
// what it adds stays in the "-wal" file, as with a running browser.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

class PlacesBuilder {
 public:
  static constexpr int64_t kMenu = 2, kToolbar = 3, kTags = 4, kUnfiled = 5;

  explicit PlacesBuilder(const std::string& path);
  ~PlacesBuilder();
  PlacesBuilder(const PlacesBuilder&) = delete;
  PlacesBuilder& operator=(const PlacesBuilder&) = delete;

  // Each gives the new item's id; ids follow each other from 7.
  int64_t folder(int64_t parent, const std::string& title) { return item(parent, 2, title, ""); }
  int64_t bookmark(int64_t parent, const std::string& title, const std::string& url) {
    return item(parent, 1, title, url);
  }
  int64_t separator(int64_t parent) { return item(parent, 3, "", ""); }
  bool exec(const std::string& sql);
  sqlite3* connection() const { return db_; }
  // An item's guid: "guid" and its id in eight digits.
  static std::string guid(int64_t id);

 private:
  int64_t item(int64_t parent, int type, const std::string& title, const std::string& url);
  sqlite3* db_ = nullptr;
};

// The rows of a query as "a|b|c" lines, with the texts bound as ?1, ?2...
std::vector<std::string> query_rows(sqlite3* db, const std::string& sql,
                                    const std::vector<std::string>& bound = {});
// Every item of a backup, by guid, as "guid|parent's guid|index|title|uri|
// dateAdded|lastModified|id|typeCode|tags|keyword|charset"; none when the
// backup is not JSON (SQLite reads no deeper than a thousand levels).
std::vector<std::string> backup_items(const std::string& json);
// An item's first `fields` fields after its guid, or "missing".
std::string backup_item(const std::vector<std::string>& items, const std::string& guid,
                        int fields = 4);
// The guid of the "Dead Links" folder of Other Bookmarks, or "none".
std::string dead_links_guid(const std::vector<std::string>& items);
