#include "bookmarks/favorites_writer.h"

#include <array>

#include "bookmarks/record_stream.h"
#include "core/ascii.h"
#include "core/globals.h"
#include "core/records.h"
#include "platform/platform.h"

namespace {

// Creates every directory named by `path` up to, not including, its last
// component (one per separator at or after `from`, left to right); failures
// are ignored.
void create_folder_chain(const std::string& path, size_t from = 0);

// Copies a dead bookmark into the folder `dead_links` under the last component
// of `target_path`, or under "Name (2).ext", "Name (3).ext"... when that name
// holds another link. A file there that already holds `url` counts as the
// copy. Gives the copy's path, or an empty string when none could be made.
std::string write_dead_link_copy(const std::string& dead_links,
                                 const std::string& target_path, const std::string& url);

// The shortcut content: "DEFAULT"/"BASEURL" first, then
// "InternetShortcut"/"URL", other sections and keys of the file kept. False
// when either value could not be written.
bool write_shortcut(const std::string& file, const std::string& url);

// Paths are built for 1000-byte buffers: anything longer is skipped.
constexpr size_t kPathLimit = 999;
// How many "Name (n).ext" a dead-link copy tries before it gives up.
constexpr int kCopyNames = 1000;

bool is_separator(char c) { return c == '\\' || c == '/'; }

// The location followed by one backslash, unless it already ends in a
// separator.
std::string with_separator(const std::string& location) {
  if (!location.empty() && is_separator(location.back())) return location;
  return location + "\\";
}

// Characters a Windows name cannot hold; ':' would also start a drive ("C:")
// or a stream. '?' stays: in a name from a Windows listing it stands for a
// character the ANSI code page could not map, and no file of that name
// exists to be written again.
bool refused_by_windows(char c) {
  return (c >= 0 && c < 0x20) || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' ||
         c == '*';
}

std::string contained_component(std::string name) {
  for (char& c : name)
    if (c == '/') c = '_';
  if (name.empty()) return "_";
  if (name == "." || name == "..") return std::string(name.size(), '_');
  if (!platform::windows_name_rules()) return name;
  for (char& c : name)
    if (refused_by_windows(c)) c = '_';
  // Windows drops trailing dots and blanks, so "News " would name "News"
  // and "..." the folder above.
  for (size_t i = name.size(); i > 0 && (name[i - 1] == '.' || name[i - 1] == ' '); --i)
    name[i - 1] = '_';
  return name;
}

std::string record_text(const char* field, size_t size) {
  return std::string(field, field_length(field, size));
}

// A browser drops line breaks from links, and so does the value written: in
// a shortcut file they would start new keys.
std::string shortcut_value(const std::string& url) {
  std::string value;
  value.reserve(url.size());
  for (char c : url)
    if (c != '\r' && c != '\n') value += c;
  return value;
}

// The value as a profile read gives it back: without surrounding blanks and
// one pair of quotes.
std::string as_read_back(const std::string& value) {
  const size_t first = value.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  std::string trimmed = value.substr(first, value.find_last_not_of(" \t") - first + 1);
  const size_t n = trimmed.size();
  if (n >= 2 && (trimmed[0] == '"' || trimmed[0] == '\'') && trimmed[n - 1] == trimmed[0])
    return trimmed.substr(1, n - 2);
  return trimmed;
}

// Whether a shortcut file holds this link: it is then the bookmark itself
// (or a copy of it), not another one that happens to have its name.
bool holds_url(const std::string& file, const std::string& url) {
  const std::string held = platform::profile_read(file, "InternetShortcut", "URL", "", kUrlSize);
  return held == url || held == as_read_back(shortcut_value(url));
}

bool exists(const std::string& path) { return platform::file_attributes(path).exists; }

// A shortcut that this writer began and that a kill cut short holds its
// first value only; it is finished, not taken for another bookmark.
bool half_written(const std::string& file, const std::string& url) {
  // No value holds a line break, so "\n" marks a missing key.
  return platform::profile_read(file, "InternetShortcut", "URL", "\n", kUrlSize) == "\n" &&
         platform::profile_read(file, "DEFAULT", "BASEURL", "\n", kUrlSize) ==
             as_read_back(shortcut_value(url));
}

// A shortcut where no file was: one that cannot be written whole is removed
// again.
bool create_shortcut(const std::string& file, const std::string& url) {
  if (write_shortcut(file, url)) return true;
  platform::delete_file(file);
  return false;
}

std::string folder_of(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool same_path(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  const bool fold = platform::windows_name_rules();
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (is_separator(x) && is_separator(y)) continue;
    if (fold) {
      x = ascii_lower(x);
      y = ascii_lower(y);
    }
    if (x != y) return false;
  }
  return true;
}

class TreeWriter {
 public:
  TreeWriter(const std::string& base, const std::string& dead_links)
      : base_(base), dead_links_(dead_links) {}

  void write(const LVK_URL& record) {
    bool mended = false;
    const std::string target =
        base_ + contained_relative_path(record_text(record.path, sizeof record.path), &mended);
    const bool dead = record.checked != 0 && record.action >= action_delete && record.action <= fix;
    if (target.size() > kPathLimit) {
      if (dead) ++not_moved_;
      return;
    }
    // The location's own folders exist already.
    create_folder_chain(target, base_.size());
    if (record.checked == 0) return;
    clean_folder_of(target);

    const std::string url = record_text(record.url, sizeof record.url);
    const bool there = exists(target);
    switch (record.action) {
      case keep:
        if (!there) create_shortcut(target, url);
        else if (half_written(target, url)) write_shortcut(target, url);
        return;
      case fix:
        // Under a mended name an existing file is another bookmark.
        if (!there) create_shortcut(target, url);
        else if (!mended || half_written(target, url)) write_shortcut(target, url);
        break;
      case action_delete:
      case quarantine:
        break;
      default:
        return;
    }
    const std::string copy = write_dead_link_copy(dead_links_, target, url);
    if (copy.empty()) {
      ++not_moved_;
      return;
    }
    // The original goes only once its copy is whole, and only when it is the
    // record's own bookmark.
    if (record.action != fix && there && !mended && !same_path(copy, target) &&
        holds_url(target, url))
      platform::delete_file(target);
  }

  size_t not_moved() const { return not_moved_; }

 private:
  // A killed save's temporary files go before this save writes beside them.
  // Listing a large folder again each time the records come back to it
  // would cost more than the save, so the folders cleaned last are kept in
  // a small ring: a fixed cost however many folders the tree has.
  void clean_folder_of(const std::string& target) {
    const std::string folder = folder_of(target);
    for (const std::string& cleaned : cleaned_)
      if (same_path(folder, cleaned)) return;
    platform::remove_stale_temporaries(folder);
    cleaned_[next_cleaned_] = folder;
    next_cleaned_ = (next_cleaned_ + 1) % cleaned_.size();
  }

  std::string base_, dead_links_;
  std::array<std::string, 64> cleaned_;
  size_t next_cleaned_ = 0;
  size_t not_moved_ = 0;
};

}  // namespace

std::string contained_relative_path(const std::string& path, bool* mended) {
  std::string result;
  result.reserve(path.size() + 8);
  size_t start = 0;
  for (;;) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (start != 0) result += '\\';
    result += contained_component(path.substr(start, end - start));
    if (end == path.size()) break;
    start = end + 1;
  }
  if (mended) *mended = result != path;
  return result;
}

namespace {

void create_folder_chain(const std::string& path, size_t from) {
  for (size_t i = from; i < path.size(); ++i)
    if (is_separator(path[i]) && i > 0) platform::create_directory(path.substr(0, i));
}

bool write_shortcut(const std::string& file, const std::string& url) {
  const std::string value = shortcut_value(url);
  return platform::profile_write(file, "DEFAULT", "BASEURL", value) &&
         platform::profile_write(file, "InternetShortcut", "URL", value);
}

std::string write_dead_link_copy(const std::string& dead_links,
                                 const std::string& target_path, const std::string& url) {
  // The location itself may end in either separator.
  const size_t slash = target_path.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? target_path : target_path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
  for (int n = 1; n <= kCopyNames; ++n) {
    const std::string copy = dead_links + "\\" +
                             (n == 1 ? name : stem + " (" + std::to_string(n) + ")" + extension);
    if (copy.size() > kPathLimit) return std::string();
    const platform::FileAttributes attributes = platform::file_attributes(copy);
    if (!attributes.exists) return create_shortcut(copy, url) ? copy : std::string();
    // A copy from an earlier save of the same project is not made twice.
    if (attributes.is_directory) continue;
    if (holds_url(copy, url)) return copy;
    if (half_written(copy, url)) return write_shortcut(copy, url) ? copy : std::string();
  }
  return std::string();
}

}  // namespace

size_t write_favorites_tree() {
  const std::string location = record_text(output_location, sizeof output_location);
  // Without a location every path below would start at the root of the
  // drive; nothing is written then.
  if (location.empty()) return 0;
  const std::string base = with_separator(location);
  const std::string dead_links = base + "Dead Links";

  create_folder_chain(base);
  if (dead_links.size() <= kPathLimit) platform::create_directory(dead_links);
  platform::remove_stale_temporaries(location);
  platform::remove_stale_temporaries(dead_links);

  RecordStream records;
  if (!records.open(project_path)) return 0;
  TreeWriter writer(base, dead_links);
  LVK_URL record;
  while (records.next(record)) writer.write(record);
  return writer.not_moved();
}
