#include "bookmarks/favorites_writer.h"

#include <vector>

#include "bookmarks/project_loader.h"
#include "core/globals.h"
#include "core/records.h"
#include "platform/platform.h"

namespace {

// Paths are built for 1000-byte buffers: anything longer is skipped.
constexpr size_t kPathLimit = 999;

bool is_separator(char c) { return c == '\\' || c == '/'; }

// The location followed by one backslash, unless it already ends in a
// separator.
std::string with_separator(const std::string& location) {
  if (!location.empty() && is_separator(location.back())) return location;
  return location + "\\";
}

bool only_dots_and_blanks(const std::string& name) {
  for (char c : name)
    if (c != '.' && c != ' ') return false;
  return true;
}

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string contained_component(std::string name) {
  // Empty, ".", ".." and the names Windows trims to them ("...", ". .")
  // would point at the folder itself or above it.
  if (name.empty()) return "_";
  if (only_dots_and_blanks(name)) return std::string(name.size(), '_');
  // "C:" or "C:x" would leave for the root or the current folder of a drive.
  if (name.size() >= 2 && is_letter(name[0]) && name[1] == ':') name[1] = '_';
  return name;
}

std::string record_text(const char* field, size_t size) {
  return std::string(field, field_length(field, size));
}

}  // namespace

std::string contained_relative_path(const std::string& path) {
  std::string result;
  result.reserve(path.size() + 8);
  size_t start = 0;
  for (;;) {
    size_t end = start;
    while (end < path.size() && !is_separator(path[end])) ++end;
    if (start != 0) result += '\\';
    result += contained_component(path.substr(start, end - start));
    if (end == path.size()) break;
    start = end + 1;
  }
  return result;
}

void create_folder_chain(const std::string& path) {
  for (size_t i = 0; i < path.size(); ++i)
    if (path[i] == '\\') platform::create_directory(path.substr(0, i));
}

void write_shortcut(const std::string& file, const std::string& url) {
  // A line break inside a link (possible in a bookmark file's HREF) would
  // start new lines, and so new keys, in the shortcut file; browsers drop
  // line breaks from links, and so does the value written here.
  std::string value;
  value.reserve(url.size());
  for (char c : url)
    if (c != '\r' && c != '\n') value += c;
  platform::profile_write(file, "DEFAULT", "BASEURL", value);
  platform::profile_write(file, "InternetShortcut", "URL", value);
}

void write_dead_link_copy(const std::string& dead_links_folder, const std::string& target_path,
                          const std::string& url) {
  // The location itself may end in either separator.
  const size_t slash = target_path.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? target_path : target_path.substr(slash + 1);
  const std::string copy = dead_links_folder + "\\" + name;
  if (copy.size() > kPathLimit) return;
  write_shortcut(copy, url);
}

void write_favorites_tree() {
  const std::string location = record_text(output_location, sizeof output_location);
  // Without a location every path below would start at the root of the
  // drive; nothing is written then.
  if (location.empty()) return;
  const std::string base = with_separator(location);
  const std::string dead_links = base + "Dead Links";

  platform::create_directory(location);
  if (dead_links.size() <= kPathLimit) platform::create_directory(dead_links);

  std::vector<LVK_URL> records;
  if (!load_project_records(project_path, records)) return;

  for (const LVK_URL& record : records) {
    const std::string target =
        base + contained_relative_path(record_text(record.path, sizeof record.path));
    if (target.size() > kPathLimit) continue;
    create_folder_chain(target);
    if (record.checked == 0) continue;

    const bool exists = platform::file_readable(target);
    const std::string url = record_text(record.url, sizeof record.url);
    switch (record.action) {
      case keep:
        if (!exists) write_shortcut(target, url);
        break;
      case action_delete:
      case quarantine:
        platform::delete_file(target);
        write_dead_link_copy(dead_links, target, url);
        break;
      case fix:
        write_shortcut(target, url);
        write_dead_link_copy(dead_links, target, url);
        break;
      default:
        break;
    }
  }
}
