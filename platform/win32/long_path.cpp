// Paths of MAX_PATH characters or more: the "\\?\" form for the wide file
// functions, and the conversions between program text and wide text.
#include <windows.h>

#include <string>

#include "platform/win32/win32_support.h"

namespace platform {
namespace win32 {

namespace {

// The code page the ANSI file functions use for names.
UINT file_code_page() { return ::AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

bool is_separator(char c) { return c == '\\' || c == '/'; }

// "X:\..." or "\\server\...": making such a path absolute can only shorten it.
bool is_absolute(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && is_separator(path[2])) return true;
  return path.size() >= 2 && is_separator(path[0]) && is_separator(path[1]);
}

}  // namespace

std::wstring widen(const std::string& text) {
  if (text.empty() || text.size() > 0x7fffffff) return std::wstring();
  const int length = static_cast<int>(text.size());
  const int needed = ::MultiByteToWideChar(file_code_page(), 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  ::MultiByteToWideChar(file_code_page(), 0, text.data(), length, &wide[0], needed);
  return wide;
}

std::string narrow(const std::wstring& text) {
  if (text.empty() || text.size() > 0x7fffffff) return std::string();
  const int length = static_cast<int>(text.size());
  const int needed = ::WideCharToMultiByte(file_code_page(), 0, text.data(), length, nullptr, 0,
                                           nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string out(static_cast<size_t>(needed), '\0');
  ::WideCharToMultiByte(file_code_page(), 0, text.data(), length, &out[0], needed, nullptr,
                        nullptr);
  return out;
}

std::wstring long_path_form(const std::string& path, size_t limit) {
  // The common case costs no system call: a short absolute path.
  if (path.size() < limit && is_absolute(path)) return std::wstring();
  const std::wstring wide = widen(path);
  if (wide.empty()) return std::wstring();
  // Already in the long form: the caller meant it as it is.
  if (wide.compare(0, 4, L"\\\\?\\") == 0) return wide;

  const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::wstring();
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return std::wstring();
  full.resize(length);
  if (path.size() < limit && full.size() < limit) return std::wstring();

  if (full.compare(0, 2, L"\\\\") == 0) {
    // Device names ("\\.\...") have no long form; a share gets "\\?\UNC\".
    if (full.compare(0, 4, L"\\\\.\\") == 0) return std::wstring();
    return L"\\\\?\\UNC\\" + full.substr(2);
  }
  return L"\\\\?\\" + full;
}

}  // namespace win32
}  // namespace platform
