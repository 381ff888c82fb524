#include "gui/item_list.h"

#include <cstdio>
#include <cstring>

#include "core/app_commands.h"
#include "core/ascii.h"
#include "core/globals.h"
#include "core/records.h"

namespace {

bool listed(unsigned view, const LVK_URL& record) {
  if (view != app_view_all && record.checked != 1) return false;
  switch (view) {
    case app_view_deleted: return record.action == action_delete;
    case app_view_quarantined: return record.action == quarantine;
    case app_view_fixed: return record.action == fix;
    default: return true;
  }
}

std::string field_text(const char* field, size_t size) {
  return std::string(field, field_length(field, size));
}

// The bookmark's name: the last part of its path without the last four
// characters (".url"); a shorter name is shown whole.
std::string bookmark_name(const std::string& path) {
  const size_t cut = path.rfind('\\');
  std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  if (name.size() >= 4) name.resize(name.size() - 4);
  return name;
}

const char* reason(uint32_t result) {
  switch (result) {
    case no_connection: return "Failed";
    case http_error: return "404";
    default: return "";
  }
}

std::vector<bool> recover_in_project(const std::vector<std::string>& entries) {
  return recover_items(project_path, entries);
}

void open_in_browser(const std::string& url) {
  if (is_web_address(url)) platform::shell_open(url, true);
}

}  // namespace

std::vector<platform::ItemRow> list_items(const char* path, unsigned view) {
  std::vector<platform::ItemRow> rows;
  platform::File file = platform::open_file(path, platform::FileAccess::read);
  if (!file.is_open() || !file.seek(kHeaderSize)) return rows;
  unsigned char bytes[kRecordSize];
  for (uint32_t entry = 0; file.read(bytes, kRecordSize) == kRecordSize; ++entry) {
    LVK_URL record;
    decode_record(bytes, record);
    if (!listed(view, record)) continue;
    platform::ItemRow row;
    row.number = std::to_string(rows.size() + 1);
    row.url = field_text(record.url, sizeof record.url);
    row.file = field_text(record.path, sizeof record.path);
    row.name = bookmark_name(row.file);
    row.reason = reason(record.result);
    row.entry = std::to_string(entry);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<bool> recover_items(const char* path, const std::vector<std::string>& entries) {
  std::vector<bool> done(entries.size(), false);
  platform::File file = platform::open_file(path, platform::FileAccess::read_write_shared);
  if (!file.is_open()) return done;
  for (size_t i = 0; i < entries.size(); ++i) {
    const long entry = leading_decimal(entries[i].c_str(), entries[i].size(), Overflow::saturate);
    if (entry < 0 || static_cast<unsigned long long>(entry) > UINT32_MAX) continue;
    const int64_t offset = record_offset(static_cast<uint32_t>(entry));
    unsigned char bytes[kRecordSize];
    // An entry past the end of the file names no record; nothing is written.
    if (!file.seek(offset) || file.read(bytes, kRecordSize) != kRecordSize) continue;
    encode_u32(bytes + offsetof(LVK_URL, checked), 1);
    encode_u32(bytes + offsetof(LVK_URL, result), result_none);
    encode_u32(bytes + offsetof(LVK_URL, action), keep);
    done[i] = file.seek(offset) && file.write(bytes, kRecordSize);
  }
  return done;
}

bool is_web_address(const std::string& url) {
  for (const char* scheme : {"http://", "https://", "ftp://"}) {
    const size_t n = std::strlen(scheme);
    if (url.size() > n && equal_ignoring_case(url.c_str(), n, scheme, n)) return true;
  }
  return false;
}

void show_item_list(unsigned view) {
  platform::ItemList list;
  const bool whole_project = view == app_view_all || view == app_view_checked;
  list.caption_line = !whole_project;
  list.recover_enabled = !whole_project;
  list.rows = list_items(project_path, view);
  list.recover = recover_in_project;
  list.test_in_browser = open_in_browser;
  platform::show_item_list(main_window, list);
}
