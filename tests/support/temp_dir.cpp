#include "tests/support/temp_dir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path folder;
  std::error_code ec;
  do folder = fs::temp_directory_path() / ("lvn-test-" + std::to_string(stamp) + "-" +
                                           std::to_string(counter++));
  while (!fs::create_directory(folder, ec));
  path_ = folder.string();
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& relative) const {
  std::string native = path_ + '/' + relative;
  for (char& c : native)
    if (c == '/' || c == '\\') c = static_cast<char>(fs::path::preferred_separator);
  return native;
}

std::string TempDir::write(const std::string& relative, const std::string& content) const {
  const std::string full = file(relative);
  std::error_code ec;
  fs::create_directories(fs::path(full).parent_path(), ec);
  std::ofstream(full, std::ios::binary) << content;
  return full;
}

std::string TempDir::read(const std::string& path) {
  std::ostringstream buffer;
  buffer << std::ifstream(path, std::ios::binary).rdbuf();
  return buffer.str();
}

std::string TempDir::backslashed(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}
