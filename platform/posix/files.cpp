// Files on POSIX: descriptors behind platform::File, attributes, one-level
// directory creation, deletion and copying.
#define _FILE_OFFSET_BITS 64

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "platform/posix/posix_support.h"

namespace platform {

using posix::native_path;
using posix::ScopedFd;

static_assert(sizeof(off_t) >= 8, "64-bit file offsets are required");

bool File::is_open() const { return handle_ >= 0; }

size_t File::read(void* buffer, size_t n) {
  if (!is_open()) return 0;
  char* out = static_cast<char*>(buffer);
  size_t total = 0;
  while (total < n) {
    ssize_t got = ::read(static_cast<int>(handle_), out + total, n - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (got == 0) break;
    total += static_cast<size_t>(got);
  }
  return total;
}

bool File::write(const void* buffer, size_t n) {
  return is_open() &&
         posix::write_all(static_cast<int>(handle_), static_cast<const char*>(buffer), n);
}

bool File::flush() {
  return is_open() && ::fsync(static_cast<int>(handle_)) == 0;
}

bool File::seek(int64_t offset) {
  if (!is_open() || offset < 0) return false;
  return ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

int64_t File::size() {
  if (!is_open()) return -1;
  struct stat st;
  if (::fstat(static_cast<int>(handle_), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

void File::close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

File open_file(const std::string& path, FileAccess access) {
  int flags = O_CLOEXEC;
  switch (access) {
    case FileAccess::read: flags |= O_RDONLY; break;
    case FileAccess::read_write_shared: flags |= O_RDWR; break;
    case FileAccess::create_truncate: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case FileAccess::create_new: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
    case FileAccess::append: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
  }
  File file;
  const std::string native = native_path(path);
  ScopedFd fd;
  do {
    fd.reset(::open(native.c_str(), flags, 0666));
  } while (!fd.valid() && errno == EINTR);
  if (!fd.valid()) return file;
  // A directory opens for reading here but never on Windows.
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return file;
  file.handle_ = fd.release();
  return file;
}

bool file_readable(const std::string& path) {
  const std::string native = native_path(path);
  // Non-blocking, so that a FIFO named as a source cannot hang the caller.
  ScopedFd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) return false;
  struct stat st;
  return ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode);
}

FileAttributes file_attributes(const std::string& path) {
  FileAttributes attributes;
  struct stat st;
  if (::stat(native_path(path).c_str(), &st) != 0) return attributes;
  attributes.exists = true;
  attributes.is_directory = S_ISDIR(st.st_mode);
  return attributes;
}

bool create_directory(const std::string& path) {
  return ::mkdir(native_path(path).c_str(), 0777) == 0;
}

bool delete_file(const std::string& path) {
  const std::string native = native_path(path);
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return ::unlink(native.c_str()) == 0;
}

bool remove_directory(const std::string& path) {
  return ::rmdir(native_path(path).c_str()) == 0;
}

namespace {

bool copy_stream(int in, int out) {
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    if (!posix::write_all(out, buffer, static_cast<size_t>(got))) return false;
  }
}

}  // namespace

bool copy_file(const std::string& from, const std::string& to) {
  const std::string source = native_path(from);
  const std::string target = native_path(to);
  ScopedFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.valid()) return false;
  struct stat from_st;
  if (::fstat(in.get(), &from_st) != 0 || !S_ISREG(from_st.st_mode)) return false;
  // Copying a file onto itself would truncate it; Windows refuses as well.
  struct stat to_st;
  if (::stat(target.c_str(), &to_st) == 0) {
    if (S_ISDIR(to_st.st_mode)) return false;
    if (to_st.st_dev == from_st.st_dev && to_st.st_ino == from_st.st_ino) return false;
  }
  // Through a temporary file and a rename: the target is never half written,
  // and a target that is a running executable can still be replaced.
  const std::string temp = temporary_path_beside(target);
  ScopedFd out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!out.valid()) return false;
  // The copy keeps the source's permission bits, so an executable stays one.
  bool ok = copy_stream(in.get(), out.get()) &&
            ::fchmod(out.get(), from_st.st_mode & 0777) == 0 && ::fsync(out.get()) == 0;
  out.reset();
  if (ok) ok = faults::admit_rename() && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool windows_name_rules() { return false; }

std::string utf8_file_name(const std::string& path) { return posix::native_path(path); }

bool replace_file(const std::string& from, const std::string& to) {
  const std::string source = native_path(from);
  std::string target = native_path(to);
  struct stat st;
  if (::stat(target.c_str(), &st) == 0) {
    // Only a file is replaced: a device, a pipe or a folder of that name is
    // not something to rename over.
    if (!S_ISREG(st.st_mode)) return false;
    // A link keeps pointing at the file the user linked; that file gets the
    // new content.
    struct stat link;
    if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
      char* real = ::realpath(target.c_str(), nullptr);
      if (!real) return false;
      target = real;
      std::free(real);
    }
    // A file the user keeps private stays private once replaced.
    ::chmod(source.c_str(), st.st_mode & 07777);
  }
  if (!faults::admit_rename() || ::rename(source.c_str(), target.c_str()) != 0) return false;
  // The new name must survive a power cut as well as the content: sync the
  // folder that holds it (best effort; some file systems refuse).
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  ScopedFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
  return true;
}

}  // namespace platform
