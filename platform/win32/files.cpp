// Files on Win32: handles behind platform::File, attributes, directory
// creation, deletion and copying.
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_support.h"

namespace platform {

namespace {

HANDLE as_handle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// One transfer of ReadFile/WriteFile is a DWORD; larger requests are split.
constexpr size_t kMaxChunk = 1u << 30;

}  // namespace

File::~File() { close(); }

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

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
  while (n > 0) {
    const size_t want = n < kMaxChunk ? n : kMaxChunk;
    DWORD put = 0;
    if (!::WriteFile(as_handle(handle_), in, static_cast<DWORD>(want), &put, nullptr) || put == 0)
      return false;
    in += put;
    n -= put;
  }
  return true;
}

bool File::seek(int64_t offset) {
  if (!is_open() || offset < 0) return false;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return ::SetFilePointerEx(as_handle(handle_), distance, nullptr, FILE_BEGIN) != 0;
}

bool File::seek_relative(int64_t delta) {
  if (!is_open()) return false;
  LARGE_INTEGER distance;
  distance.QuadPart = delta;
  return ::SetFilePointerEx(as_handle(handle_), distance, nullptr, FILE_CURRENT) != 0;
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
    case FileAccess::append:
      desired = FILE_APPEND_DATA;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      disposition = OPEN_ALWAYS;
      break;
  }
  File file;
  HANDLE handle = ::CreateFileA(path.c_str(), desired, share, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) file.handle_ = reinterpret_cast<intptr_t>(handle);
  return file;
}

bool file_readable(const std::string& path) {
  win32::ScopedHandle handle(::CreateFileA(path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return handle.valid() && ::GetFileType(handle.get()) == FILE_TYPE_DISK;
}

FileAttributes file_attributes(const std::string& path) {
  FileAttributes attributes;
  const DWORD bits = ::GetFileAttributesA(path.c_str());
  if (bits == INVALID_FILE_ATTRIBUTES) return attributes;
  attributes.exists = true;
  attributes.is_directory = (bits & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return attributes;
}

bool create_directory(const std::string& path) {
  return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool delete_file(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

bool copy_file(const std::string& from, const std::string& to) {
  return ::CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

}  // namespace platform
