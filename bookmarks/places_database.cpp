#include "bookmarks/places_database.h"

#include <sqlite3.h>

#include <cstring>
#include <unordered_map>
#include <utility>

#include "bookmarks/bookmark_file_reader.h"
#include "platform/platform.h"

namespace {

constexpr char kSqliteMagic[] = "SQLite format 3";  // and its NUL: 16 bytes

// A copy of the database and its write-ahead log under temporary names; the
// copy and whatever SQLite adds beside it go when this ends.
class PrivateCopy {
 public:
  explicit PrivateCopy(const std::string& scratch)
      : path_(platform::temporary_path_beside(scratch)) {}
  ~PrivateCopy() {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) platform::delete_file(path_ + suffix);
  }
  bool take(const std::string& source) {
    if (!platform::copy_file(source, path_)) return false;
    // Without its log the copy would miss the browser's latest changes.
    const std::string log = source + "-wal";
    return !platform::file_readable(log) || platform::copy_file(log, path_ + "-wal");
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class Database {
 public:
  ~Database() { sqlite3_close(db_); }
  bool open(const std::string& path) {
    const std::string name = platform::utf8_file_name(path);
    if (name.empty()) return false;
    // Read-write only so that the copy's log can be recovered; nothing is
    // changed through this connection.
    if (sqlite3_open_v2(name.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
      return false;
    return sqlite3_exec(db_, "PRAGMA query_only = 1", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  sqlite3* get() const { return db_; }
  std::string error() const { return db_ ? sqlite3_errmsg(db_) : "out of memory"; }

 private:
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) statement_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(statement_); }
  bool ok() const { return statement_ != nullptr; }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int step() { return sqlite3_step(statement_); }
  int64_t number(int column) const { return sqlite3_column_int64(statement_, column); }
  std::string text(int column) const {
    const unsigned char* value = sqlite3_column_text(statement_, column);
    return value ? std::string(reinterpret_cast<const char*>(value),
                               static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
                 : std::string();
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// Every item, linked to its parent by position. A parent that is missing
// leaves the item out of the tree, like the browser does.
bool read_items(sqlite3* db, PlacesTree& tree, std::unordered_map<int64_t, int64_t>& place_of) {
  Statement rows(db,
                 "SELECT b.id, b.parent, b.type, b.title, b.dateAdded, b.lastModified, b.guid, "
                 "p.url, b.fk FROM moz_bookmarks b LEFT JOIN moz_places p ON p.id = b.fk "
                 "ORDER BY b.parent, b.position, b.id");
  if (!rows.ok()) return false;
  std::unordered_map<int64_t, size_t> index_of;
  std::vector<std::pair<int64_t, size_t>> parent_of;  // parent id, child index
  tree.items.assign(1, PlacesItem());
  bool has_root = false;
  int status;
  while ((status = rows.step()) == SQLITE_ROW) {
    PlacesItem item;
    item.id = rows.number(0);
    item.type = static_cast<int>(rows.number(2));
    item.title = rows.text(3);
    item.date_added = rows.number(4);
    item.last_modified = rows.number(5);
    item.guid = rows.text(6);
    item.url = rows.text(7);
    if (item.id > tree.largest_id) tree.largest_id = item.id;
    if (!has_root && item.guid == kPlacesRootGuid) {
      has_root = true;
      index_of[item.id] = 0;
      tree.items[0] = std::move(item);
      continue;
    }
    const size_t index = tree.items.size();
    if (item.type == places_bookmark) place_of[static_cast<int64_t>(index)] = rows.number(8);
    index_of[item.id] = index;
    parent_of.emplace_back(rows.number(1), index);
    tree.items.push_back(std::move(item));
  }
  if (status != SQLITE_DONE || !has_root) return false;
  // The rows come ordered by parent and position, so children arrive in order.
  for (const auto& link : parent_of) {
    const auto parent = index_of.find(link.first);
    if (parent != index_of.end() && parent->second != link.second)
      tree.items[parent->second].children.push_back(link.second);
  }
  return true;
}

// Reads "place id, text" rows into a map. A table the database lacks gives
// nothing: older and newer databases differ there.
std::unordered_map<int64_t, std::string> read_place_texts(sqlite3* db, const char* sql) {
  std::unordered_map<int64_t, std::string> texts;
  Statement rows(db, sql);
  if (!rows.ok()) return texts;
  while (rows.step() == SQLITE_ROW) {
    std::string& text = texts[rows.number(0)];
    if (!text.empty()) text += ',';  // a place's tags, joined as the backup keeps them
    text += rows.text(1);
  }
  return texts;
}

void add_place_details(sqlite3* db, PlacesTree& tree,
                       const std::unordered_map<int64_t, int64_t>& place_of) {
  const auto tags = read_place_texts(
      db,
      "SELECT b.fk, t.title FROM moz_bookmarks b JOIN moz_bookmarks t ON t.id = b.parent "
      "JOIN moz_bookmarks r ON r.id = t.parent WHERE r.guid = 'tags________' AND b.type = 1 "
      "ORDER BY b.fk, t.title");
  const auto keywords = read_place_texts(db, "SELECT place_id, keyword FROM moz_keywords");
  const auto charsets = read_place_texts(
      db,
      "SELECT a.place_id, a.content FROM moz_annos a JOIN moz_anno_attributes n "
      "ON n.id = a.anno_attribute_id WHERE n.name = 'URIProperties/characterSet'");
  for (const auto& entry : place_of) {
    PlacesItem& item = tree.items[static_cast<size_t>(entry.first)];
    const auto tag = tags.find(entry.second);
    if (tag != tags.end()) item.tags = tag->second;
    const auto keyword = keywords.find(entry.second);
    if (keyword != keywords.end()) item.keyword = keyword->second;
    const auto charset = charsets.find(entry.second);
    if (charset != charsets.end()) item.charset = charset->second;
  }
}

// The folder name a root has in a bookmark file; other folders keep their own.
const char* root_folder_name(const std::string& guid) {
  if (guid == kMenuGuid) return "Bookmarks Menu";
  if (guid == kToolbarGuid) return "Bookmarks Toolbar";
  if (guid == kUnfiledGuid) return "Other Bookmarks";
  if (guid == kMobileGuid) return "Mobile Bookmarks";
  return nullptr;
}

// A title as a bookmark file holds it.
std::string file_text(const std::string& title) {
  std::string text;
  text.reserve(title.size());
  for (const char c : title) {
    switch (c) {
      case '&': text += "&amp;"; break;
      case '<': text += "&lt;"; break;
      case '>': text += "&gt;"; break;
      default: text += c; break;
    }
  }
  return text;
}

}  // namespace

bool is_sqlite_file(const std::string& path) {
  platform::File file = platform::open_file(path, platform::FileAccess::read);
  char head[sizeof kSqliteMagic] = {};
  return file.is_open() && file.read(head, sizeof head) == sizeof head &&
         std::memcmp(head, kSqliteMagic, sizeof head) == 0;
}

bool read_places_tree(const std::string& path, const std::string& scratch, PlacesTree& tree,
                      std::string& reason) {
  tree = PlacesTree();
  PrivateCopy copy(scratch);
  if (!copy.take(path)) {
    reason = "it cannot be copied";
    return false;
  }
  if (!is_sqlite_file(copy.path())) {
    reason = "it is not an SQLite database";
    return false;
  }
  Database db;
  std::unordered_map<int64_t, int64_t> place_of;  // bookmark's item index -> place id
  const bool opened = db.open(copy.path());
  if (!opened || !read_items(db.get(), tree, place_of)) {
    const bool sqlite_failed = !opened || sqlite3_errcode(db.get()) != SQLITE_OK;
    reason = sqlite_failed ? db.error() : "it holds no bookmark root";
    tree = PlacesTree();
    return false;
  }
  add_place_details(db.get(), tree, place_of);
  return true;
}

std::vector<PlacesLink> places_links(const PlacesTree& tree) {
  std::vector<PlacesLink> links;
  if (tree.items.empty()) return links;
  // Depth first without recursion: a hostile database may nest deeply.
  struct Level {
    size_t item;
    size_t next_child;
    std::string folder;
  };
  std::vector<Level> stack{{0, 0, std::string()}};
  while (!stack.empty()) {
    Level& level = stack.back();
    const PlacesItem& parent = tree.items[level.item];
    if (level.next_child == parent.children.size()) {
      stack.pop_back();
      continue;
    }
    const size_t index = parent.children[level.next_child++];
    const PlacesItem& item = tree.items[index];
    if (item.type == places_bookmark) {
      links.push_back({index, level.folder});
    } else if (item.type == places_folder && item.guid != kTagsGuid) {
      const char* root_name = level.item == 0 ? root_folder_name(item.guid) : nullptr;
      const std::string name = root_name ? std::string(root_name) : file_text(item.title);
      std::string folder = level.folder;
      open_folder(folder, name.data(), name.size());
      // A record keeps less than this of its path; a cut here changes no
      // record and keeps deep nesting from costing the square of its depth.
      if (folder.size() > kPathSize) folder.resize(kPathSize);
      stack.push_back({index, 0, std::move(folder)});
    }
  }
  return links;
}

void make_places_record(const PlacesTree& tree, const PlacesLink& link, LVK_URL& record) {
  const PlacesItem& item = tree.items[link.item];
  const std::string name = file_text(item.title);
  make_link_record(record, link.folder, item.url.data(), item.url.size(), name.data(),
                   name.size());
}
