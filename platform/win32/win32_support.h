// Helpers shared by the Win32 backend's files; nothing outside
// platform/win32/ includes this.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform {
namespace win32 {

// The ANSI file functions (CreateFileA, GetPrivateProfileStringA, ...) take
// paths of fewer than MAX_PATH characters only, with the "\\?\" prefix or
// without. For a longer path this gives the "\\?\" form of its full path
// (made absolute, '/' turned into '\\', "." and ".." resolved) for the wide
// functions, which lifts the limit. It gives an empty string when the path
// and its full form are both shorter than `limit`, so the ANSI function is
// called as before, and when the path cannot be converted, so that the ANSI
// function reports the failure.
std::wstring long_path_form(const std::string& path, size_t limit = MAX_PATH);
// The message box style of an icon.
UINT message_icon_style(MessageIcon icon);
// Text in the code page of the ANSI file functions, and back.
std::wstring widen(const std::string& text);
std::string narrow(const std::wstring& text);

// Owns one kernel handle; closes it on destruction.
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() { reset(); }
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (valid()) ::CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Owns one open registry key.
class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey() {
    if (key_) ::RegCloseKey(key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  HKEY* receive() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace win32
}  // namespace platform
