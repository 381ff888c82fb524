// Helpers shared by the POSIX backend's files; nothing outside
// platform/posix/ includes this.
#pragma once

#include <string>

namespace platform {
namespace posix {

// Program paths use '\\'; the file system wants '/'.
std::string native_path(const std::string& path);

// Owns one file descriptor; closes it on destruction.
class ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd();
  ScopedFd(ScopedFd&& other) noexcept : fd_(other.release()) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept;
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;

  bool valid() const { return fd_ >= 0; }
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Writes all bytes, going on after short writes and interruptions: the one
// write loop of the backend, behind File::write too. Asks the fault layer first.
bool write_all(int fd, const char* data, size_t size);
// Reads a whole file; false when it cannot be opened or read.
bool read_whole_file(const std::string& native, std::string& content);
// Reads at most `limit` bytes from the start of a regular file, without ever
// waiting on a FIFO or a device; false for anything but a regular file.
bool read_file_head(const std::string& native, size_t limit, std::string& content);
// Replaces a file's content through a temporary file in the same folder and
// a rename, so that a crash leaves either the old or the new content.
// Keeps the permission bits of an existing target (or uses `mode`).
bool replace_file_content(const std::string& native, const std::string& content,
                          unsigned mode = 0666);

// Creates a folder and its missing parents; false when one is not a folder
// or cannot be made.
bool make_folders(const std::string& native);

// An environment variable's value; empty when unset or empty.
std::string non_empty_env(const char* name);

}  // namespace posix
}  // namespace platform
