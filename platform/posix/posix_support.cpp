// Path mapping, descriptor ownership and whole-file helpers of the POSIX
// backend.
#define _FILE_OFFSET_BITS 64

#include "platform/posix/posix_support.h"

#include "platform/fault_injection.h"
#include "platform/platform.h"

#include <atomic>
#include <cstdint>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace posix {

std::string native_path(const std::string& path) {
  std::string out = path;
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

ScopedFd::~ScopedFd() { reset(); }

ScopedFd& ScopedFd::operator=(ScopedFd&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

void ScopedFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

bool read_whole_file(const std::string& native, std::string& content) {
  content.clear();
  ScopedFd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    content.append(buffer, static_cast<size_t>(got));
  }
}

bool read_file_head(const std::string& native, size_t limit, std::string& content) {
  content.clear();
  // Looked at before opening, so that no device is ever opened; checked
  // again on the descriptor in case the name changed meanwhile.
  struct stat st;
  if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  ScopedFd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const size_t want =
      static_cast<uint64_t>(st.st_size) < limit ? static_cast<size_t>(st.st_size) : limit;
  content.resize(want);
  size_t done = 0;
  while (done < want) {
    const ssize_t got = ::read(fd.get(), &content[done], want - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;  // shrank meanwhile
    done += static_cast<size_t>(got);
  }
  content.resize(done);
  return true;
}

bool write_all(int fd, const char* data, size_t size) {
  const size_t admitted = faults::admit_write(size);
  const bool cut_short = admitted < size;
  size = admitted;
  while (size > 0) {
    ssize_t put = ::write(fd, data, size);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += put;
    size -= static_cast<size_t>(put);
  }
  return !cut_short;
}


bool replace_file_content(const std::string& native, const std::string& content,
                          unsigned mode) {
  // A new file gets `mode` less the umask; an existing one keeps its bits.
  bool keep_mode = false;
  struct stat st;
  if (::stat(native.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return false;
    mode = st.st_mode & 07777;
    keep_mode = true;
  }
  const std::string temp = temporary_path_beside(native);
  ScopedFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                     static_cast<mode_t>(mode)));
  if (!fd.valid()) return false;
  // The rename makes the change all-or-nothing for a killed process; like the
  // Windows profile writer, no flush to the disk is forced for each value.
  bool ok = write_all(fd.get(), content.data(), content.size()) &&
            (!keep_mode || ::fchmod(fd.get(), static_cast<mode_t>(mode)) == 0);
  fd.reset();
  if (ok) ok = faults::admit_rename() && ::rename(temp.c_str(), native.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

std::string non_empty_env(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? std::string(value) : std::string();
}

bool make_folders(const std::string& native) {
  for (size_t pos = 1; pos <= native.size(); ++pos) {
    if (pos == native.size() || native[pos] == '/') {
      const std::string part = native.substr(0, pos);
      struct stat st;
      if (::stat(part.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) return false;
      } else if (::mkdir(part.c_str(), 0700) != 0) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace posix
}  // namespace platform
