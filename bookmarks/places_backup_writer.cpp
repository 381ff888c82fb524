#include "bookmarks/places_backup_writer.h"

#include <chrono>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "bookmarks/places_database.h"
#include "bookmarks/record_stream.h"
#include "core/globals.h"
#include "core/message.h"
#include "core/project.h"
#include "platform/platform.h"

namespace {

constexpr char kDeadLinks[] = "Dead Links";

void tell(const std::string& text) { show_message_line(text, platform::MessageIcon::warning); }

// What the project says of each bookmark of the database.
struct Outcome {
  std::vector<uint32_t> action;                       // by item index
  std::unordered_map<size_t, std::string> fixed_url;  // by item index
  std::vector<size_t> dead;                           // quarantined, in record order
};

bool same_field(const char* a, const char* b, size_t size) {
  const size_t length = field_length(a, size);
  return length == field_length(b, size) && std::memcmp(a, b, length) == 0;
}

// Matches the project's records to the database's bookmarks, in order, by
// path and (unless the checker cut it back as a fix) URL. False when they
// differ: the bookmarks changed since the project was made.
bool match_records(const PlacesTree& tree, Outcome& outcome) {
  RecordStream records;
  if (!records.open(project_path)) return false;
  outcome.action.assign(tree.items.size(), keep);
  LVK_URL record;
  LVK_URL expected;
  for (const PlacesLink& link : places_links(tree)) {
    if (!records.next(record)) return false;
    make_places_record(tree, link, expected);
    if (!same_field(record.path, expected.path, kPathSize) ||
        (record.action != fix && !same_field(record.url, expected.url, kUrlSize)))
      return false;
    outcome.action[link.item] = record.action;
    if (record.action == fix)
      outcome.fixed_url[link.item].assign(record.url, field_length(record.url, kUrlSize));
    if (record.action == quarantine) outcome.dead.push_back(link.item);
  }
  return !records.next(record);
}

// A JSON string; bytes that are not UTF-8 become U+FFFD so the file parses.
void add_string(std::string& out, const std::string& text) {
  out += '"';
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      // A whole, shortest-form sequence that names a character is copied.
      size_t length = c >= 0xf0 && c <= 0xf4 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c < 0xe0 ? 2 : 0;
      if (length > n - i) length = 0;
      for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) length = 0;
      if (length >= 3) {
        const unsigned char d = static_cast<unsigned char>(text[i + 1]);
        if ((c == 0xe0 && d < 0xa0) || (c == 0xed && d >= 0xa0) || (c == 0xf0 && d < 0x90) ||
            (c == 0xf4 && d >= 0x90))
          length = 0;
      }
      if (length == 0) {
        out += "\\ufffd";
        ++i;
      } else {
        out.append(text, i, length);
        i += length;
      }
    }
  }
  out += '"';
}

void add_field(std::string& out, const char* name, const std::string& text) {
  out += ",\"";
  out += name;
  out += "\":";
  add_string(out, text);
}

void add_field(std::string& out, const char* name, int64_t number) {
  out += ",\"";
  out += name;
  out += "\":";
  out += std::to_string(number);
}

const char* root_name(const std::string& guid) {
  if (guid == kPlacesRootGuid) return "placesRoot";
  if (guid == kMenuGuid) return "bookmarksMenuFolder";
  if (guid == kToolbarGuid) return "toolbarFolder";
  if (guid == kTagsGuid) return "tagsFolder";
  if (guid == kUnfiledGuid) return "unfiledBookmarksFolder";
  if (guid == kMobileGuid) return "mobileFolder";
  return nullptr;
}

const char* type_name(int type) {
  switch (type) {
    case places_bookmark: return "text/x-moz-place";
    case places_folder: return "text/x-moz-place-container";
    default: return "text/x-moz-place-separator";
  }
}

// Opens an item's object with every field it has; a folder's is left open
// at its "children" list.
void open_item(std::string& out, const PlacesItem& item, size_t index, const std::string& url) {
  out += "{\"guid\":";
  add_string(out, item.guid);
  add_field(out, "title", item.title);
  add_field(out, "index", static_cast<int64_t>(index));
  add_field(out, "dateAdded", item.date_added);
  add_field(out, "lastModified", item.last_modified);
  add_field(out, "id", item.id);
  add_field(out, "typeCode", item.type);
  if (!item.tags.empty()) add_field(out, "tags", item.tags);
  add_field(out, "type", type_name(item.type));
  if (const char* root = root_name(item.guid)) add_field(out, "root", root);
  if (item.type == places_bookmark) {
    add_field(out, "uri", url);
    if (!item.keyword.empty()) add_field(out, "keyword", item.keyword);
    if (!item.charset.empty()) add_field(out, "charset", item.charset);
  }
  out += item.type == places_folder ? ",\"children\":[" : "}";
}

// A guid of the browser's form (12 URL-safe base64 characters) that no item
// of the tree has.
std::string new_guid(const PlacesTree& tree) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::unordered_set<std::string> taken;
  for (const PlacesItem& item : tree.items) taken.insert(item.guid);
  uint64_t seed = static_cast<uint64_t>(
                      std::chrono::steady_clock::now().time_since_epoch().count()) ^
                  (static_cast<uint64_t>(platform::process_id()) << 32);
  for (;;) {
    std::string guid;
    for (int i = 0; i < 12; ++i) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      guid += kAlphabet[(seed >> 58) & 63];
    }
    if (!taken.count(guid)) return guid;
  }
}

class BackupBuilder {
 public:
  BackupBuilder(const PlacesTree& tree, const Outcome& outcome)
      : tree_(tree), outcome_(outcome) {}

  std::string build() {
    find_dead_links_home();
    // Depth first without recursion: a hostile database may nest deeply.
    struct Level {
      size_t item;
      size_t next_child;
      size_t written;
    };
    open_item(out_, tree_.items[0], 0, std::string());
    std::vector<Level> stack{{0, 0, 0}};
    while (!stack.empty()) {
      Level& level = stack.back();
      const std::vector<size_t>& children = tree_.items[level.item].children;
      if (level.next_child == children.size()) {
        if (level.item == home_) add_dead_links(level.written);
        out_ += "]}";
        stack.pop_back();
        continue;
      }
      const size_t index = children[level.next_child++];
      const PlacesItem& item = tree_.items[index];
      const uint32_t action = outcome_.action[index];
      if (item.type < places_bookmark || item.type > places_separator ||
          action == action_delete || action == quarantine)
        continue;
      if (level.written > 0) out_ += ',';
      open_item(out_, item, level.written++, url_of(index));
      if (item.type == places_folder) stack.push_back({index, 0, 0});
    }
    return std::move(out_);
  }

 private:
  std::string url_of(size_t index) const {
    const auto fixed = outcome_.fixed_url.find(index);
    return fixed == outcome_.fixed_url.end() ? tree_.items[index].url : fixed->second;
  }

  // An existing Dead Links folder of Other Bookmarks takes the new dead
  // links after its own; otherwise Other Bookmarks gets a new one at its end.
  void find_dead_links_home() {
    home_ = 0;
    for (size_t root : tree_.items[0].children) {
      if (tree_.items[root].guid != kUnfiledGuid) continue;
      home_ = root;
      for (size_t child : tree_.items[root].children) {
        const PlacesItem& item = tree_.items[child];
        if (item.type == places_folder && item.title == kDeadLinks &&
            outcome_.action[child] == keep) {
          home_ = child;
          existing_ = true;
          break;
        }
      }
      break;
    }
  }

  void add_dead_links(size_t written) {
    size_t next = written;
    if (!existing_) {
      PlacesItem folder;
      folder.id = tree_.largest_id + 1;
      folder.type = places_folder;
      folder.guid = new_guid(tree_);
      folder.title = kDeadLinks;
      folder.date_added = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
      folder.last_modified = folder.date_added;
      if (written > 0) out_ += ',';
      open_item(out_, folder, written, std::string());
      next = 0;
    }
    for (size_t index : outcome_.dead) {
      if (next > 0) out_ += ',';
      open_item(out_, tree_.items[index], next++, tree_.items[index].url);
    }
    if (!existing_) out_ += "]}";
  }

  const PlacesTree& tree_;
  const Outcome& outcome_;
  std::string out_;
  size_t home_ = 0;
  bool existing_ = false;
};

bool write_whole(const std::string& target, const std::string& content) {
  const size_t slash = target.find_last_of("\\/");
  platform::remove_stale_temporaries(slash == std::string::npos ? "" : target.substr(0, slash + 1));
  const std::string temporary = platform::temporary_path_beside(target);
  platform::File file = platform::open_file(temporary, platform::FileAccess::create_new);
  if (!file.is_open()) return false;
  const bool written = file.write(content.data(), content.size()) && file.flush();
  file.close();
  if (written && platform::replace_file(temporary, target)) return true;
  platform::delete_file(temporary);
  return false;
}

}  // namespace

void write_firefox_backup() {
  ProjectHeader header;
  if (!read_project_header(project_path, header)) {
    tell("Cannot save the Firefox bookmark backup!");
    return;
  }
  const std::string source(header.source, field_length(header.source, kSourceSize));
  if (!is_sqlite_file(source)) {
    tell("The project was not made from a Firefox bookmark database; no backup was written.");
    return;
  }
  PlacesTree tree;
  std::string reason;
  if (!read_places_tree(source, project_path, tree, reason)) {
    tell("Cannot read the Firefox bookmark database: " + reason + ". No backup was written.");
    return;
  }
  Outcome outcome;
  if (!match_records(tree, outcome)) {
    tell("The Firefox bookmarks changed since the project was made; no backup was written. "
         "Please start a new project.");
    return;
  }
  const std::string json = BackupBuilder(tree, outcome).build();
  const std::string target(output_location, field_length(output_location, sizeof output_location));
  if (!write_whole(target, json)) tell("Cannot save the Firefox bookmark backup!");
}
