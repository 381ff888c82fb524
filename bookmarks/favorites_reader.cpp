#include "bookmarks/favorites_reader.h"

#include <cstring>
#include <string>

#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"
#include "platform/platform.h"

namespace {

// The platform's path limit: a directory's path and its search pattern each
// live in a buffer of this size. A directory whose path or pattern would not
// fit is skipped with everything below it, which also bounds the depth of the
// walk for very deep trees and for directory cycles through links.
constexpr size_t kDirBufferSize = 260;

// How much of a shortcut is read: real ones are a few hundred bytes, and a
// huge file in the tree must cost no more memory or time than this.
constexpr size_t kShortcutReadLimit = 1 << 20;

// The shortcut file path buffer ("%s\%s" of directory path and file name).
constexpr size_t kFilePathSize = 1000;

// Joins up to three pieces into a fixed buffer; false (buffer untouched
// beyond its first byte) when the result would not fit with its terminator.
bool join_into(char* out, size_t size, const char* a, const char* b, const char* c) {
  const size_t la = std::strlen(a), lb = std::strlen(b), lc = std::strlen(c);
  if (la + lb + lc >= size) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, a, la);
  std::memcpy(out + la, b, lb);
  std::memcpy(out + la + lb, c, lc);
  out[la + lb + lc] = '\0';
  return true;
}

// Builds and appends the record of one file of the tree.
void read_shortcut_file(const char* directory_path, const platform::DirEntry& entry) {
  LVK_URL record;
  std::memset(&record, 0, sizeof record);

  char file_path[kFilePathSize];
  // A file whose full path would not fit is skipped: a cut path would name
  // another file. With directory paths under 260 bytes this cannot happen
  // for names the file systems allow, but the buffer is never overrun.
  if (!join_into(file_path, sizeof file_path, directory_path, "\\", entry.name.c_str())) return;

  const std::string url =
      platform::profile_read_head(file_path, "InternetShortcut", "URL", "", kUrlSize,
                                  kShortcutReadLimit);
  copy_field(record.url, sizeof record.url, url);

  // The relative path: the full path less the source root and the one
  // backslash after it. The walk builds every path from the root's own text,
  // so the root is always a prefix here.
  const char* relative = file_path;
  const size_t root_length = std::strlen(source_path);
  if (std::strncmp(file_path, source_path, root_length) == 0) {
    relative = file_path + root_length;
    if (*relative == '\\') ++relative;
  }
  copy_field(record.path, sizeof record.path, relative);

  append_record(record);
}

}  // namespace

void walk_favorites_tree(const char* name, const char* parent) {
  const size_t name_length = std::strlen(name);
  // "." and ".." (and any other name that ends in a dot) are not walked.
  if (name_length > 0 && name[name_length - 1] == '.') return;

  char path[kDirBufferSize];
  const bool fits = parent ? join_into(path, sizeof path, parent, "\\", name)
                           : join_into(path, sizeof path, name, "", "");
  if (!fits) return;

  const platform::FileAttributes attributes = platform::file_attributes(path);
  if (!attributes.exists) return;

  char pattern[kDirBufferSize];
  if (attributes.is_directory) {
    const size_t length = std::strlen(path);
    const bool ends_in_backslash = length > 0 && path[length - 1] == '\\';
    if (!join_into(pattern, sizeof pattern, path, ends_in_backslash ? "*.*" : "\\*.*", ""))
      return;
  } else {
    // A file's own path lists that one file.
    join_into(pattern, sizeof pattern, path, "", "");
  }

  platform::DirListing listing;
  if (!listing.open(pattern)) return;
  platform::DirEntry entry;
  while (listing.next(entry)) {
    // Entries are handled at once, in listing order: a subdirectory is
    // walked completely before the next sibling is looked at. Only regular
    // files are read: a FIFO or device would block or never end, and a link
    // to nothing is no bookmark.
    if (entry.is_directory)
      walk_favorites_tree(entry.name.c_str(), path);
    else if (entry.is_file && !platform::is_temporary_name(entry.name))  // not a save's leftover
      read_shortcut_file(path, entry);
  }
  listing.close();
}
