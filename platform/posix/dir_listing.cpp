// Directory listing on POSIX with the find-first contract: the pattern's last
// component may hold '*' and '?', matched without regard to case; without
// wildcards the one entry that the path names is listed.
#define _FILE_OFFSET_BITS 64

#include <dirent.h>
#include <new>
#include <string>
#include <sys/stat.h>

#include "core/ascii.h"
#include "platform/platform.h"
#include "platform/posix/posix_support.h"

namespace platform {

namespace {


bool glob_match(const char* pattern, const char* name) {
  // Iterative '*' matching with one backtrack point.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern && ascii_lower(*pattern) == ascii_lower(*name))) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

// Windows lets a trailing ".*" match nothing, so "*.*" and "x*.*" also take
// names without a dot.
bool wildcard_match(const std::string& pattern, const std::string& name) {
  if (glob_match(pattern.c_str(), name.c_str())) return true;
  const size_t n = pattern.size();
  if (n >= 2 && pattern[n - 2] == '.' && pattern[n - 1] == '*')
    return glob_match(pattern.substr(0, n - 2).c_str(), name.c_str());
  return false;
}

// The kind of an entry, links followed; a link to nothing is neither kind.
void set_kind(const std::string& path, DirEntry& entry) {
  struct stat st;
  const bool found = ::stat(path.c_str(), &st) == 0;
  entry.is_directory = found && S_ISDIR(st.st_mode);
  entry.is_file = found && S_ISREG(st.st_mode);
}

}  // namespace

struct DirListing::State {
  DIR* dir = nullptr;
  std::string folder;     // with a trailing '/'
  std::string wildcard;   // empty for a listing of one named entry
  bool have_pending = false;
  DirEntry pending;

  ~State() {
    if (dir) ::closedir(dir);
  }

  // Moves to the next matching entry of the folder.
  bool advance() {
    have_pending = false;
    if (!dir) return false;
    while (dirent* entry = ::readdir(dir)) {
      if (!wildcard_match(wildcard, entry->d_name)) continue;
      pending.name = entry->d_name;
      set_kind(folder + pending.name, pending);
      have_pending = true;
      return true;
    }
    return false;
  }
};

bool DirListing::open(const std::string& pattern) {
  close();
  const std::string native = posix::native_path(pattern);
  const size_t cut = native.rfind('/');
  std::string folder = cut == std::string::npos ? std::string("./") : native.substr(0, cut + 1);
  std::string last = cut == std::string::npos ? native : native.substr(cut + 1);
  if (last.empty()) return false;  // "dir\" names no entry, as on Windows

  State* state = new (std::nothrow) State;
  if (!state) return false;
  state->folder = folder;
  if (last.find_first_of("*?") != std::string::npos) {
    state->wildcard = last;
    state->dir = ::opendir(folder.c_str());
    if (!state->dir || !state->advance()) {
      delete state;
      return false;
    }
  } else {
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0) {
      delete state;
      return false;
    }
    state->pending.name = last;
    set_kind(native, state->pending);
    state->have_pending = true;
  }
  state_ = state;
  return true;
}

bool DirListing::next(DirEntry& entry) {
  if (!state_ || !state_->have_pending) return false;
  entry = state_->pending;
  state_->advance();
  return true;
}

void DirListing::close() {
  delete state_;
  state_ = nullptr;
}

}  // namespace platform
