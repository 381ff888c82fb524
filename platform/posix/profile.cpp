// Private-profile files on POSIX, with the reading and writing rules of the
// Windows profile functions.
#include <mutex>
#include <string>
#include <sys/stat.h>

#include "platform/platform.h"
#include "platform/common/ini_text.h"
#include "platform/posix/posix_support.h"
#include "platform/posix/profile_lock.h"

namespace platform {

namespace posix {

std::mutex& profile_mutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace posix

namespace {

std::string cut(const std::string& text, size_t size) {
  if (size == 0) return std::string();
  return text.size() > size - 1 ? text.substr(0, size - 1) : text;
}

}  // namespace

std::string profile_read(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& default_value,
                         size_t size) {
  std::string text;
  std::string value;
  {
    std::lock_guard<std::mutex> lock(posix::profile_mutex());
    if (!posix::read_whole_file(posix::native_path(file), text)) return cut(default_value, size);
  }
  if (!common::ini_find(text, section, key, value)) return cut(default_value, size);
  return cut(value, size);
}

std::string profile_read_head(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& default_value,
                              size_t size, size_t limit) {
  std::string text;
  std::string value;
  {
    std::lock_guard<std::mutex> lock(posix::profile_mutex());
    if (!posix::read_file_head(posix::native_path(file), limit, text))
      return cut(default_value, size);
  }
  if (!common::ini_find(text, section, key, value)) return cut(default_value, size);
  return cut(value, size);
}

int profile_read_int(const std::string& file, const std::string& section,
                     const std::string& key, int default_value) {
  return common::ini_int_value(profile_read(file, section, key, "", 30), default_value);
}

bool profile_write(const std::string& file, const std::string& section,
                   const std::string& key, const std::string& value) {
  const std::string native = posix::native_path(file);
  std::lock_guard<std::mutex> lock(posix::profile_mutex());
  std::string text;
  if (!posix::read_whole_file(native, text)) {
    // A missing file starts empty; one that exists but cannot be read must
    // not be replaced by a file holding only the new key.
    struct stat st;
    if (::stat(native.c_str(), &st) == 0) return false;
  }
  return posix::replace_file_content(native, common::ini_set(text, section, key, value));
}

}  // namespace platform
