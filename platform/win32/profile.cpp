// Private-profile files on Win32: the system's own functions, and for paths
// of MAX_PATH characters or more (which those functions cannot open) the
// shared profile text code over the file read and written through its
// "\\?\" form, with the same rules: sections and keys matched without case,
// every other byte kept, new lines ended with CRLF, the file created when
// missing.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/common/ini_text.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "platform/win32/win32_support.h"

namespace platform {

namespace {

// Read-modify-write of long-path profiles is one step for this process, as
// the system's functions make it for short paths.
std::mutex& long_profile_mutex() {
  static std::mutex mutex;
  return mutex;
}

std::string cut(const std::string& text, size_t size) {
  if (size == 0) return std::string();
  return text.size() > size - 1 ? text.substr(0, size - 1) : text;
}

// Reads a whole file; false when it cannot be opened or read.
bool read_whole_file(const std::wstring& path, std::string& text) {
  win32::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  text.clear();
  char buffer[4096];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0) return true;
    text.append(buffer, got);
  }
}

// Replaces a file's content through a temporary file beside it, so that a
// failed write leaves the old content.
bool replace_file_content(const std::wstring& path, const std::string& text) {
  // The folder stays wide: only the new name comes from the shared rule.
  const size_t slash = path.find_last_of(L'\\');
  const std::wstring temp = path.substr(0, slash == std::wstring::npos ? 0 : slash + 1) +
                            win32::widen(temporary_path_beside(std::string()));
  bool ok;
  {
    win32::ScopedHandle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    const size_t admitted = faults::admit_write(text.size());
    ok = admitted == text.size();
    size_t done = 0;
    while (done < admitted) {
      const size_t rest = admitted - done;
      const DWORD want = rest < (1u << 30) ? static_cast<DWORD>(rest) : (1u << 30);
      DWORD put = 0;
      if (!::WriteFile(file.get(), text.data() + done, want, &put, nullptr) || put == 0) {
        ok = false;
        break;
      }
      done += put;
    }
  }
  if (ok)
    ok = faults::admit_rename() &&
         ::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  if (!ok) ::DeleteFileW(temp.c_str());
  return ok;
}

std::string long_profile_read(const std::wstring& path, const std::string& section,
                              const std::string& key, const std::string& default_value,
                              size_t size) {
  std::string text;
  {
    std::lock_guard<std::mutex> lock(long_profile_mutex());
    if (!read_whole_file(path, text)) return cut(default_value, size);
  }
  std::string value;
  if (!common::ini_find(text, section, key, value)) return cut(default_value, size);
  return cut(value, size);
}

bool long_profile_write(const std::wstring& path, const std::string& section,
                        const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> lock(long_profile_mutex());
  std::string text;
  // A missing file starts empty; one that exists but cannot be read must
  // not be replaced by a file holding only the new key.
  if (!read_whole_file(path, text) &&
      ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
    return false;
  return replace_file_content(path, common::ini_set(text, section, key, value));
}

}  // namespace

std::string profile_read(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& default_value,
                         size_t size) {
  if (size == 0) return std::string();
  const std::wstring long_form = win32::long_path_form(file);
  if (!long_form.empty()) return long_profile_read(long_form, section, key, default_value, size);
  if (size > 0x7fffffff) size = 0x7fffffff;
  std::vector<char> buffer(size, '\0');
  const DWORD length =
      ::GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value.c_str(),
                                 buffer.data(), static_cast<DWORD>(size), file.c_str());
  return std::string(buffer.data(), length < size ? length : size - 1);
}

// A file of at most `limit` bytes is read by the system's own function, as
// profile_read does; of a longer one only the first `limit` bytes are read
// and searched with the shared rules, so a huge file costs no more than that.
std::string profile_read_head(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& default_value,
                              size_t size, size_t limit) {
  if (size == 0) return std::string();
  const std::wstring long_form = win32::long_path_form(file);
  win32::ScopedHandle handle(
      long_form.empty()
          ? ::CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
          : ::CreateFileW(long_form.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER length;
  if (!handle.valid() || ::GetFileType(handle.get()) != FILE_TYPE_DISK ||
      !::GetFileSizeEx(handle.get(), &length) || length.QuadPart < 0)
    return cut(default_value, size);
  if (static_cast<unsigned long long>(length.QuadPart) <= limit) {
    handle.reset();
    return profile_read(file, section, key, default_value, size);
  }
  std::string text(limit, '\0');
  size_t done = 0;
  while (done < limit) {
    const size_t rest = limit - done;
    const DWORD want = rest < (1u << 30) ? static_cast<DWORD>(rest) : (1u << 30);
    DWORD got = 0;
    if (!::ReadFile(handle.get(), &text[done], want, &got, nullptr))
      return cut(default_value, size);
    if (got == 0) break;
    done += got;
  }
  text.resize(done);
  std::string value;
  if (!common::ini_find(text, section, key, value)) return cut(default_value, size);
  return cut(value, size);
}

int profile_read_int(const std::string& file, const std::string& section,
                     const std::string& key, int default_value) {
  const std::wstring long_form = win32::long_path_form(file);
  if (!long_form.empty())
    return common::ini_int_value(long_profile_read(long_form, section, key, "", 30),
                                 default_value);
  return static_cast<int>(
      ::GetPrivateProfileIntA(section.c_str(), key.c_str(), default_value, file.c_str()));
}

bool profile_write(const std::string& file, const std::string& section,
                   const std::string& key, const std::string& value) {
  const std::wstring long_form = win32::long_path_form(file);
  if (!long_form.empty()) return long_profile_write(long_form, section, key, value);
  // The system writes the value in place; a fault plan can only refuse it
  // whole, as a full disk would before the first byte.
  const size_t size = section.size() + key.size() + value.size() + 8;
  if (faults::admit_write(size) < size) return false;
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                      file.c_str()) != 0;
}

}  // namespace platform
