// Files on Win32: handles behind platform::File, attributes, directory
// creation, deletion and copying. Paths of MAX_PATH characters or more go to
// the wide functions in their "\\?\" form (see long_path_form).
#include <windows.h>

#include <string>

#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "platform/win32/win32_support.h"

namespace platform {

namespace {

HANDLE as_handle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// One transfer of ReadFile/WriteFile is a DWORD; larger requests are split.
constexpr size_t kMaxChunk = 1u << 30;

// CreateDirectory leaves room for an 8.3 name below the new folder.
constexpr size_t kDirectoryPathLimit = MAX_PATH - 12;

HANDLE create_file(const std::string& path, DWORD desired, DWORD share, DWORD disposition) {
  const std::wstring long_form = win32::long_path_form(path);
  if (!long_form.empty())
    return ::CreateFileW(long_form.c_str(), desired, share, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return ::CreateFileA(path.c_str(), desired, share, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool File::is_open() const { return as_handle(handle_) != INVALID_HANDLE_VALUE; }

size_t File::read(void* buffer, size_t n) {
  if (!is_open()) return 0;
  char* out = static_cast<char*>(buffer);
  size_t total = 0;
  while (total < n) {
    const size_t want = n - total < kMaxChunk ? n - total : kMaxChunk;
    DWORD got = 0;
    if (!::ReadFile(as_handle(handle_), out + total, static_cast<DWORD>(want), &got, nullptr))
      break;
    if (got == 0) break;
    total += got;
  }
  return total;
}

bool File::write(const void* buffer, size_t n) {
  if (!is_open()) return false;
  const char* in = static_cast<const char*>(buffer);
  const size_t admitted = faults::admit_write(n);
  const bool cut_short = admitted < n;
  n = admitted;
  while (n > 0) {
    const size_t want = n < kMaxChunk ? n : kMaxChunk;
    DWORD put = 0;
    if (!::WriteFile(as_handle(handle_), in, static_cast<DWORD>(want), &put, nullptr) || put == 0)
      return false;
    in += put;
    n -= put;
  }
  return !cut_short;
}

bool File::flush() { return is_open() && ::FlushFileBuffers(as_handle(handle_)) != 0; }

bool File::seek(int64_t offset) {
  if (!is_open() || offset < 0) return false;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return ::SetFilePointerEx(as_handle(handle_), distance, nullptr, FILE_BEGIN) != 0;
}

int64_t File::size() {
  if (!is_open()) return -1;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(as_handle(handle_), &size)) return -1;
  return size.QuadPart;
}

void File::close() {
  if (is_open()) ::CloseHandle(as_handle(handle_));
  handle_ = -1;
}

File open_file(const std::string& path, FileAccess access) {
  DWORD desired = 0, share = 0, disposition = 0;
  switch (access) {
    case FileAccess::read:
      desired = GENERIC_READ;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      disposition = OPEN_EXISTING;
      break;
    case FileAccess::read_write_shared:
      desired = GENERIC_READ | GENERIC_WRITE;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      disposition = OPEN_EXISTING;
      break;
    case FileAccess::create_truncate:
      desired = GENERIC_WRITE;
      share = FILE_SHARE_READ;
      disposition = CREATE_ALWAYS;
      break;
    case FileAccess::create_new:
      desired = GENERIC_WRITE;
      share = FILE_SHARE_READ;
      disposition = CREATE_NEW;
      break;
    case FileAccess::append:
      desired = FILE_APPEND_DATA;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      disposition = OPEN_ALWAYS;
      break;
  }
  File file;
  HANDLE handle = create_file(path, desired, share, disposition);
  if (handle != INVALID_HANDLE_VALUE) file.handle_ = reinterpret_cast<intptr_t>(handle);
  return file;
}

bool file_readable(const std::string& path) {
  win32::ScopedHandle handle(
      create_file(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
  return handle.valid() && ::GetFileType(handle.get()) == FILE_TYPE_DISK;
}

FileAttributes file_attributes(const std::string& path) {
  FileAttributes attributes;
  const std::wstring long_form = win32::long_path_form(path);
  const DWORD bits = long_form.empty() ? ::GetFileAttributesA(path.c_str())
                                       : ::GetFileAttributesW(long_form.c_str());
  if (bits == INVALID_FILE_ATTRIBUTES) return attributes;
  attributes.exists = true;
  attributes.is_directory = (bits & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return attributes;
}

bool create_directory(const std::string& path) {
  const std::wstring long_form = win32::long_path_form(path, kDirectoryPathLimit);
  if (!long_form.empty()) return ::CreateDirectoryW(long_form.c_str(), nullptr) != 0;
  return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool delete_file(const std::string& path) {
  const std::wstring long_form = win32::long_path_form(path);
  if (!long_form.empty()) return ::DeleteFileW(long_form.c_str()) != 0;
  return ::DeleteFileA(path.c_str()) != 0;
}

bool remove_directory(const std::string& path) {
  const std::wstring long_form = win32::long_path_form(path);
  if (!long_form.empty()) return ::RemoveDirectoryW(long_form.c_str()) != 0;
  return ::RemoveDirectoryA(path.c_str()) != 0;
}

namespace {

// Calls the ANSI form of a two-path function, or its wide form when either
// path is too long for it: one long path takes both to the wide function.
template <typename Ansi, typename Wide>
bool on_two_paths(const std::string& from, const std::string& to, Ansi ansi, Wide wide) {
  const std::wstring long_from = win32::long_path_form(from);
  const std::wstring long_to = win32::long_path_form(to);
  if (long_from.empty() && long_to.empty()) return ansi(from.c_str(), to.c_str()) != 0;
  const std::wstring wide_from = long_from.empty() ? win32::widen(from) : long_from;
  const std::wstring wide_to = long_to.empty() ? win32::widen(to) : long_to;
  return wide(wide_from.c_str(), wide_to.c_str()) != 0;
}

}  // namespace

bool copy_file(const std::string& from, const std::string& to) {
  return on_two_paths(
      from, to, [](const char* f, const char* t) { return ::CopyFileA(f, t, FALSE); },
      [](const wchar_t* f, const wchar_t* t) { return ::CopyFileW(f, t, FALSE); });
}

bool windows_name_rules() { return true; }

std::string utf8_file_name(const std::string& path) {
  const std::wstring wide = win32::widen(path);
  if (wide.empty() || wide.size() > 0x7fffffff) return std::string();
  const int length = static_cast<int>(wide.size());
  const int needed =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string utf8(static_cast<size_t>(needed), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &utf8[0], needed, nullptr, nullptr);
  return utf8;
}

bool replace_file(const std::string& from, const std::string& to) {
  if (!faults::admit_rename()) return false;
  constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  return on_two_paths(
      from, to, [](const char* f, const char* t) { return ::MoveFileExA(f, t, kFlags); },
      [](const wchar_t* f, const wchar_t* t) { return ::MoveFileExW(f, t, kFlags); });
}

}  // namespace platform
