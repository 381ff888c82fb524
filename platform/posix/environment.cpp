// Process and environment on POSIX: executable path, working directory,
// %NAME% expansion, the XDG desktop, the Firefox profile folder, opening a
// file or URL, and sleeping.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "core/ascii.h"
#include "platform/platform.h"
#include "platform/posix/posix_support.h"

extern char** environ;

namespace platform {

namespace {

// Windows names its variables without regard to case; an exact match wins.
bool lookup_variable(const std::string& name, std::string& value) {
  if (name.empty()) return false;
  if (const char* exact = std::getenv(name.c_str())) {
    value = exact;
    return true;
  }
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (!equals || static_cast<size_t>(equals - *entry) != name.size()) continue;
    if (equal_ignoring_case(std::string(*entry, name.size()), name)) {
      value = equals + 1;
      return true;
    }
  }
  return false;
}

// Standard output of a command, without the final line break; empty when it
// cannot run.
std::string command_output(const char* command) {
  FILE* pipe = ::popen(command, "re");
  if (!pipe) return std::string();
  std::string out;
  char buffer[512];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  const int status = ::pclose(pipe);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::string();
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

bool is_executable_file(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

bool looks_like_url(const std::string& target) {
  const size_t colon = target.find(':');
  if (colon == std::string::npos || colon < 2) return false;  // "C:" is a drive
  for (size_t i = 0; i < colon; ++i) {
    const char c = target[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          c == '+' || c == '-' || c == '.'))
      return false;
  }
  return true;
}

}  // namespace

uint32_t process_id() { return static_cast<uint32_t>(::getpid()); }

std::string module_path() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", &buffer[0], buffer.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string current_directory() {
  std::string buffer(256, '\0');
  for (;;) {
    if (::getcwd(&buffer[0], buffer.size())) {
      buffer.resize(std::strlen(buffer.c_str()));
      return buffer;
    }
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

bool set_current_directory(const std::string& path) {
  return ::chdir(posix::native_path(path).c_str()) == 0;
}

std::string expand_environment(const std::string& text) {
  // The Windows rule: "%NAME%" of a defined variable becomes its value; any
  // other "%...%" stays as written and the scan goes on after it; a lone '%'
  // stays.
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] != '%') {
      const size_t percent = text.find('%', pos);
      const size_t end = percent == std::string::npos ? text.size() : percent;
      out.append(text, pos, end - pos);
      pos = end;
      continue;
    }
    const size_t close = text.find('%', pos + 1);
    if (close == std::string::npos) {
      out.append(text, pos, std::string::npos);
      break;
    }
    std::string value;
    if (lookup_variable(text.substr(pos + 1, close - pos - 1), value))
      out += value;
    else
      out.append(text, pos, close - pos + 1);
    pos = close + 1;
  }
  return out;
}

std::string desktop_folder() {
  const std::string xdg = posix::non_empty_env("XDG_DESKTOP_DIR");
  if (!xdg.empty()) return xdg;
  const std::string home = posix::non_empty_env("HOME");
  // xdg-user-dir prints $HOME when no desktop folder is configured.
  const std::string answer = command_output("xdg-user-dir DESKTOP 2>/dev/null");
  if (!answer.empty() && answer != home) return answer;
  return home + "/Desktop";
}

std::string firefox_profiles_folder() { return posix::non_empty_env("HOME") + "/.mozilla/firefox"; }

bool shell_open(const std::string& target, bool /*maximised*/) {
  // An executable is started itself, as the Windows shell does; anything
  // else goes to the desktop's opener.
  const std::string native = looks_like_url(target) ? target : posix::native_path(target);
  std::string program = "xdg-open";
  std::string argument = native;
  if (!looks_like_url(target) && is_executable_file(native)) {
    program = native.find('/') == std::string::npos ? "./" + native : native;
    argument.clear();
  }
  char* argv[3] = {&program[0], argument.empty() ? nullptr : &argument[0], nullptr};

  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return false;
  // A session of its own: the opened program outlives this one and does not
  // share its terminal's signals.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, program.c_str(), nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return false;
  // Reap the child when it ends, without making anyone wait for it.
  try {
    std::thread([pid] {
      int status;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (...) {
    // No thread for the reaper: the child stays a zombie until we exit.
  }
  return true;
}

void sleep_ms(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace platform
