#include "tests/support/file_tree.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::string relative_text(const fs::path& path, const fs::path& root) {
  // UTF-8 keys: the wide names of Windows need not fit its ANSI code page.
  return path.lexically_relative(root).generic_u8string();
}

}  // namespace

std::map<std::string, TreeEntry> capture_tree(const std::string& root,
                                              const std::vector<std::string>& skip) {
  std::map<std::string, TreeEntry> tree;
  std::error_code ec;
  const fs::path base(root);
  for (auto it = fs::recursive_directory_iterator(base, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const std::string relative = relative_text(it->path(), base);
    if (std::find(skip.begin(), skip.end(), relative) != skip.end()) {
      it.disable_recursion_pending();
      continue;
    }
    TreeEntry entry;
    entry.is_directory = it->is_directory();
    if (!entry.is_directory) {
      entry.content = read_all(it->path());
      entry.modified = fs::last_write_time(it->path()).time_since_epoch().count();
    }
    tree[relative] = entry;
  }
  return tree;
}

std::vector<std::string> tree_listing(const std::string& root) {
  std::vector<std::string> names;
  for (const auto& [name, entry] : capture_tree(root))
    names.push_back(entry.is_directory ? name + "/" : name);
  return names;
}

void age_file(const std::string& path) {
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  fs::last_write_time(path, now - std::chrono::hours(24 * 365 * 10), ec);
}

std::vector<std::string> section_names(const std::string& file) {
  std::vector<std::string> names;
  // Opened through the platform, which takes program paths with backslashes.
  std::string text;
  platform::File in = platform::open_file(file, platform::FileAccess::read);
  char block[4096];
  while (size_t got = in.is_open() ? in.read(block, sizeof block) : 0) text.append(block, got);
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] != '[') continue;
    const size_t close = line.find(']', start);
    if (close != std::string::npos) names.push_back(line.substr(start + 1, close - start - 1));
  }
  return names;
}
