#include "bookmarks/chromium_writer.h"

#include <chrono>
#include <cstring>
#include <map>
#include <exception>
#include <random>
#include <vector>

#include "bookmarks/chromium_bookmarks.h"
#include "bookmarks/record_stream.h"
#include "bookmarks/save_results.h"
#include "checker/site_root.h"
#include "core/globals.h"
#include "core/message.h"
#include "core/project.h"
#include "platform/platform.h"

namespace {

const char kRunning[] =
    "The browser is running and keeps these bookmarks open. Close it and save again: nothing "
    "was written.";
const char kChanged[] =
    "The browser's bookmarks changed since this project was made. Nothing was written: make a "
    "new project from them.";
const char kNoBackup[] = "Cannot keep a backup of the bookmarks file: nothing was written.";
const char kCannotSave[] = "Cannot save bookmark file!";
const char kDeadLinks[] = "Dead Links";

// What the project decided for each bookmark of the file, in walk order.
struct Decisions {
  std::vector<uint32_t> action;
  std::map<size_t, std::string> fixed_url;  // by bookmark index
};

bool same_text(const char* a, const char* b, size_t size) {
  const size_t length = field_length(a, size);
  return length == field_length(b, size) && std::memcmp(a, b, length) == 0;
}

// The record's URL is the bookmark's, or was cut back to its site by the
// checker when it fixed the link (it stays cut when the record is recovered).
bool same_link(const LVK_URL& bookmark, const LVK_URL& record) {
  if (same_text(bookmark.url, record.url, kUrlSize)) return true;
  char cut[kUrlSize];
  std::memcpy(cut, bookmark.url, kUrlSize);
  cut_to_site(cut, kUrlSize);
  return same_text(cut, record.url, kUrlSize);
}

// Pairs the file's bookmarks with the project's records, one to one in
// order. False when the file no longer holds the bookmarks the project was
// made from: another count, URL or place.
bool match_records(const ChromiumJson& tree, RecordStream& records, Decisions& decisions) {
  bool same = true;
  walk_chromium_bookmarks(tree, [&](const ChromiumJson& node, const std::string& folders) {
    LVK_URL expected, stored;
    if (!same || !records.next(stored)) {
      same = false;
      return;
    }
    chromium_record(node, folders, expected);
    if (!same_text(expected.path, stored.path, kPathSize) || !same_link(expected, stored)) {
      same = false;
      return;
    }
    if (stored.action == fix)
      decisions.fixed_url[decisions.action.size()] =
          std::string(stored.url, field_length(stored.url, kUrlSize));
    decisions.action.push_back(stored.action);
  });
  LVK_URL extra;
  return same && !records.next(extra);
}

// Applies the decisions to one folder's children, in the order the walk
// met them; quarantined bookmarks are taken out into `moved`.
struct Applier {
  const Decisions& decisions;
  size_t next = 0;
  std::vector<ChromiumJson> moved;
};

void apply_folder(ChromiumJson& folder, Applier& applier) {
  const auto children = folder.find("children");
  if (children == folder.end() || !children->is_array()) return;
  ChromiumJson kept = ChromiumJson::array();
  for (ChromiumJson& child : *children) {
    if (chromium_is(child, "url")) {
      const size_t index = applier.next++;
      const uint32_t action = applier.decisions.action[index];
      if (action == action_delete) continue;
      if (action == quarantine) {
        applier.moved.push_back(std::move(child));
        continue;
      }
      const auto fixed = applier.decisions.fixed_url.find(index);
      if (fixed != applier.decisions.fixed_url.end()) child["url"] = fixed->second;
    } else if (chromium_is(child, "folder")) {
      apply_folder(child, applier);
    }
    kept.push_back(std::move(child));
  }
  *children = std::move(kept);
}

// The largest numeric id of any node below `node`.
uint64_t largest_id(const ChromiumJson& node) {
  uint64_t largest = 0;
  if (node.is_object()) {
    const std::string id = chromium_text(node, "id");
    uint64_t value = 0;
    bool digits = !id.empty() && id.size() < 20;
    for (char c : id) digits = digits && c >= '0' && c <= '9';
    if (digits)
      for (char c : id) value = value * 10 + static_cast<uint64_t>(c - '0');
    largest = value;
  }
  if (node.is_object() || node.is_array())
    for (const ChromiumJson& child : node) {
      const uint64_t inner = largest_id(child);
      if (inner > largest) largest = inner;
    }
  return largest;
}

std::string new_guid() {
  static std::mt19937_64 engine(
      std::random_device{}() ^
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      (static_cast<uint64_t>(platform::process_id()) << 32));
  const uint64_t high = (engine() & ~uint64_t{0xf000}) | 0x4000;  // version 4
  const uint64_t low = (engine() & ~(uint64_t{3} << 62)) | (uint64_t{2} << 62);
  char text[40];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx",
                static_cast<unsigned>(high >> 32), static_cast<unsigned>((high >> 16) & 0xffff),
                static_cast<unsigned>(high & 0xffff), static_cast<unsigned>(low >> 48),
                static_cast<unsigned long long>(low & 0xffffffffffffULL));
  return text;
}

// The browser's time stamps: microseconds since 1601.
std::string now_stamp() {
  const auto since_1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return std::to_string(static_cast<long long>(since_1970.count()) + 11644473600000000LL);
}

// The "Dead Links" folder under "Other bookmarks", made when missing with
// the id given. Null when the file has no such root.
ChromiumJson* dead_links_folder(ChromiumJson& tree, uint64_t id) {
  ChromiumJson& roots = tree["roots"];
  const auto other = roots.find("other");
  if (other == roots.end() || !other->is_object()) return nullptr;
  ChromiumJson& children = (*other)["children"];
  if (!children.is_array()) return nullptr;
  for (ChromiumJson& child : children) {
    if (!chromium_is(child, "folder") || chromium_text(child, "name") != kDeadLinks) continue;
    ChromiumJson& inside = child["children"];
    if (inside.is_null()) inside = ChromiumJson::array();
    if (inside.is_array()) return &child;
  }
  const std::string stamp = now_stamp();
  ChromiumJson folder = ChromiumJson::object();
  folder["children"] = ChromiumJson::array();
  folder["date_added"] = stamp;
  folder["date_last_used"] = "0";
  folder["date_modified"] = stamp;
  folder["guid"] = new_guid();
  folder["id"] = std::to_string(id);
  folder["name"] = kDeadLinks;
  folder["type"] = "folder";
  children.push_back(std::move(folder));
  return &children.back();
}

// The new content of the file; false when it has nowhere to put dead links
// or would be nested too deep for the browser to read.
bool rewrite(ChromiumJson& tree, const Decisions& decisions, std::string& text) {
  // Above every id the file held, those of deleted bookmarks included.
  const uint64_t new_id = largest_id(tree["roots"]) + 1;
  Applier applier{decisions, 0, {}};
  for (const char* key : kChromiumRoots) {
    ChromiumJson& roots = tree["roots"];
    const auto root = roots.find(key);
    if (root != roots.end() && root->is_object()) apply_folder(*root, applier);
  }
  if (!applier.moved.empty()) {
    ChromiumJson* dead = dead_links_folder(tree, new_id);
    if (!dead) return false;
    for (ChromiumJson& node : applier.moved) (*dead)["children"].push_back(std::move(node));
  }
  tree["checksum"] = chromium_checksum(tree);
  text = tree.dump(3, ' ', false, ChromiumJson::error_handler_t::replace);
  text += '\n';
  // Moving a bookmark into Dead Links nests it two levels deeper.
  return !chromium_nesting_too_deep(text);
}

bool replace_with(const std::string& target, const std::string& text) {
  const std::string temporary = platform::temporary_path_beside(target);
  platform::File file = platform::open_file(temporary, platform::FileAccess::create_new);
  const bool written = file.is_open() && file.write(text.data(), text.size()) && file.flush();
  file.close();
  if (written && platform::replace_file(temporary, target)) return true;
  platform::delete_file(temporary);
  return false;
}

bool refuse(const std::string& why) {
  show_message_line(why, platform::MessageIcon::warning);
  return false;
}

}  // namespace

const char kNotChromiumProject[] =
    "This project was not made from a Chromium browser's bookmarks: choose another way to save.";

bool project_source_is_chromium() {
  ProjectHeader header;
  return read_project_header(project_path, header) &&
         is_chromium_bookmarks_file(header.source);
}

bool select_chromium_output() {
  ProjectHeader header;
  if (!read_project_header(project_path, header) || !is_chromium_bookmarks_file(header.source))
    return false;
  copy_field(output_location, sizeof output_location, header.source);
  output_mode = output_chromium_file;
  return true;
}

std::string chromium_backup_path(const std::string& file) { return file + ".lvn-backup"; }

bool write_chromium_bookmarks() {
  const std::string target(output_location, field_length(output_location, sizeof output_location));
  const size_t slash = target.find_last_of("\\/");
  const std::string profile = slash == std::string::npos ? "." : target.substr(0, slash);
  if (platform::chromium_profile_in_use(profile)) return refuse(kRunning);

  RecordStream records;
  if (!records.open(project_path)) return refuse(kCannotSave);
  try {
    ChromiumJson tree;
    std::string problem;
    if (!load_chromium_bookmarks(target, tree, problem)) return refuse(problem);
    Decisions decisions;
    if (!match_records(tree, records, decisions)) return refuse(kChanged);
    std::string text;
    if (!rewrite(tree, decisions, text)) return refuse(kCannotSave);
    if (!platform::copy_file(target, chromium_backup_path(target))) return refuse(kNoBackup);
    // What a killed save left in the profile goes first.
    platform::remove_stale_temporaries(profile);
    if (!replace_with(target, text)) return refuse(kCannotSave);
  } catch (const std::exception&) {
    // Out of memory, or a tree the JSON library would not take: nothing written.
    return refuse(kCannotSave);
  }
  return true;
}
