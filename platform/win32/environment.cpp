// Process and environment on Win32: module path, working directory,
// environment expansion, special folders, the shell, sleeping.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

namespace {

// A special folder's path; empty when the shell does not know it.
std::string special_folder(int csidl) {
  LPITEMIDLIST list = nullptr;
  if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &list)) || !list) return std::string();
  char path[MAX_PATH] = {0};
  const BOOL ok = ::SHGetPathFromIDListA(list, path);
  ::CoTaskMemFree(list);
  return ok ? std::string(path) : std::string();
}

}  // namespace

uint32_t process_id() { return ::GetCurrentProcessId(); }

std::vector<std::string> companion_files() { return {}; }

std::string module_path() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::string current_directory() {
  const DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return std::string();
  std::vector<char> buffer(needed + 1);
  const DWORD length = ::GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) return std::string();
  return std::string(buffer.data(), length);
}

bool set_current_directory(const std::string& path) {
  return ::SetCurrentDirectoryA(path.c_str()) != 0;
}

std::string expand_environment(const std::string& text) {
  std::vector<char> buffer(text.size() + 256);
  for (;;) {
    const DWORD needed =
        ::ExpandEnvironmentStringsA(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (needed == 0) return text;
    if (needed <= buffer.size()) return std::string(buffer.data());
    buffer.resize(needed);
  }
}

std::string desktop_folder() { return special_folder(CSIDL_DESKTOP); }

std::string programs_folder() { return special_folder(CSIDL_PROGRAMS); }

std::string firefox_profiles_folder() {
  return special_folder(CSIDL_APPDATA) + "\\Mozilla\\Firefox\\Profiles";
}

bool shell_open(const std::string& target, bool maximised) {
  const HINSTANCE result = ::ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr,
                                           maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

void sleep_ms(unsigned milliseconds) { ::Sleep(milliseconds); }

}  // namespace platform
