#include "tests/support/file_tree.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

std::map<std::string, std::string> capture_tree(const std::string& root,
                                                const std::vector<std::string>& skip) {
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    // UTF-8 keys: the wide names of Windows need not fit its ANSI code page.
    const std::string name = it->path().lexically_relative(root).generic_u8string();
    if (std::find(skip.begin(), skip.end(), name) != skip.end()) {
      it.disable_recursion_pending();
    } else if (it->is_directory()) {
      tree[name + "/"];
    } else {
      std::ifstream in(it->path(), std::ios::binary);
      tree[name] = std::string(std::istreambuf_iterator<char>(in), {}) + '\0' +
                   std::to_string(fs::last_write_time(it->path()).time_since_epoch().count());
    }
  }
  return tree;
}

std::vector<std::string> tree_listing(const std::string& root) {
  std::vector<std::string> names;
  for (const auto& entry : capture_tree(root)) names.push_back(entry.first);
  return names;
}

void age_file(const std::string& path) {
  std::error_code ec;
  fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24 * 3650), ec);
}
