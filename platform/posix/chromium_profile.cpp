// Where Chromium browsers keep their user data on Linux, and whether one of
// them has a profile open.
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/posix_support.h"

namespace platform {

namespace {

// The browser's "SingletonLock" is a symbolic link to "<host>-<pid>" while it
// runs. A link left by a crash names a process that is gone, or another host
// (a home folder shared over the network), and locks nothing here.
bool live_singleton_lock(const std::string& folder) {
  const std::string link = posix::native_path(folder) + "/SingletonLock";
  char target[512];
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) return false;
  const std::string text(target, static_cast<size_t>(n));
  const size_t dash = text.rfind('-');
  if (dash == std::string::npos || dash + 1 >= text.size()) return false;
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) != 0 || text.compare(0, dash, host) != 0) return false;
  char* end = nullptr;
  const long pid = std::strtol(text.c_str() + dash + 1, &end, 10);
  if (*end != '\0' || pid <= 0 || pid > INT_MAX) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

std::string local_application_data_folder() {
  const std::string xdg = posix::non_empty_env("XDG_CONFIG_HOME");
  if (!xdg.empty()) return xdg;
  return posix::non_empty_env("HOME") + "/.config";
}

bool chromium_profile_in_use(const std::string& profile_folder) {
  if (live_singleton_lock(profile_folder)) return true;
  const size_t slash = profile_folder.find_last_of("\\/");
  return slash != std::string::npos && slash > 0 &&
         live_singleton_lock(profile_folder.substr(0, slash));
}

}  // namespace platform
