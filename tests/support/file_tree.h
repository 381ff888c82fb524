// Looking at folders of files in tests: a whole tree captured for comparison.
#pragma once

#include <map>
#include <string>
#include <vector>

// Every entry below root, keyed by its relative path with '/' separators and
// a trailing '/' for folders; a file's value is its content and last-write
// time. Folders named in `skip` (without the '/') are left out whole.
std::map<std::string, std::string> capture_tree(const std::string& root,
                                                const std::vector<std::string>& skip = {});

// The keys of capture_tree, in order.
std::vector<std::string> tree_listing(const std::string& root);

// Sets a file's last-write time to a fixed moment long past, so that any
// rewrite shows.
void age_file(const std::string& path);
