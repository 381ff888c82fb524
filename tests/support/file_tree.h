// Looking at folders of files in tests: a whole tree captured for later
// comparison, and the section names of an INI-style file.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TreeEntry {
  bool is_directory = false;
  std::string content;       // files only
  int64_t modified = 0;      // the file system's last-write time, raw count
  bool operator==(const TreeEntry& other) const {
    return is_directory == other.is_directory && content == other.content &&
           modified == other.modified;
  }
  bool operator!=(const TreeEntry& other) const { return !(*this == other); }
};

// Every entry below root, keyed by its relative path with '/' separators.
// Folders named in `skip` (relative paths) are left out with their contents.
std::map<std::string, TreeEntry> capture_tree(const std::string& root,
                                              const std::vector<std::string>& skip = {});

// The relative paths of capture_tree, folders with a trailing '/'.
std::vector<std::string> tree_listing(const std::string& root);

// Sets a file's last-write time to a fixed moment long past.
void age_file(const std::string& path);

// The names of the "[...]" section headers of a file, in order.
std::vector<std::string> section_names(const std::string& file);
