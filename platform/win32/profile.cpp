// Private-profile files on Win32: the system's own functions.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

std::string profile_read(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& default_value,
                         size_t size) {
  if (size == 0) return std::string();
  if (size > 0x7fffffff) size = 0x7fffffff;
  std::vector<char> buffer(size, '\0');
  const DWORD length =
      ::GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value.c_str(),
                                 buffer.data(), static_cast<DWORD>(size), file.c_str());
  return std::string(buffer.data(), length < size ? length : size - 1);
}

int profile_read_int(const std::string& file, const std::string& section,
                     const std::string& key, int default_value) {
  return static_cast<int>(
      ::GetPrivateProfileIntA(section.c_str(), key.c_str(), default_value, file.c_str()));
}

bool profile_write(const std::string& file, const std::string& section,
                   const std::string& key, const std::string& value) {
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                      file.c_str()) != 0;
}

}  // namespace platform
