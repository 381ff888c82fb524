#include "tests/support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {
std::string native_relative(std::string relative) {
  for (char& c : relative)
    if (c == '/' || c == '\\') c = static_cast<char>(fs::path::preferred_separator);
  return relative;
}
}  // namespace

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate = base / ("lvn-test-" + std::to_string(stamp) + "-" +
                                 std::to_string(counter.fetch_add(1)));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate.string();
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& relative) const {
  return path_ + static_cast<char>(fs::path::preferred_separator) + native_relative(relative);
}

std::string TempDir::write(const std::string& relative, const std::string& content) const {
  std::string full = file(relative);
  std::error_code ec;
  fs::create_directories(fs::path(full).parent_path(), ec);
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out << content;
  return full;
}

std::string TempDir::read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}
