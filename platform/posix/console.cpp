// The console on POSIX: the terminal the program was started from.
#include <cerrno>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

namespace {

// Reads one byte; false at the end of input or on an error.
bool read_one_byte() {
  char c;
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got == 1) return true;
    if (got < 0 && errno == EINTR) continue;
    return false;
  }
}

}  // namespace

void pause_console() {
  std::fputs("Press any key to continue . . . ", stdout);
  std::fflush(stdout);
  termios saved;
  if (::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
    // One key, without waiting for Enter and without echo.
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    read_one_byte();
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  } else {
    // The byte is taken past stdio's buffer: anything stdin had buffered
    // already was typed before the prompt.
    read_one_byte();
  }
  std::fputs("\r\n", stdout);
  std::fflush(stdout);
}

void attach_console() {
  std::setvbuf(stdin, nullptr, _IONBF, 0);
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::setvbuf(stderr, nullptr, _IONBF, 0);
}

}  // namespace platform
