#include "tests/support/process_runner.h"

#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

extern char** environ;

namespace {

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (std::string& text : texts) result.push_back(&text[0]);
  result.push_back(nullptr);
  return result;
}

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

using Clock = std::chrono::steady_clock;
int ms_until(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exited_) {
    ::kill(pid_, SIGKILL);
    wait(5000);
  }
  close_fd(input_fd_);
  for (int& fd : output_fds_) close_fd(fd);
}

bool ChildProcess::start(const ProcessOptions& options) {
  terminal_ = options.terminal;
  int child_fds[3];
  if (terminal_) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return false;
    const struct winsize size = {25, 200, 0, 0};
    ::ioctl(master, TIOCSWINSZ, &size);
    child_fds[0] = child_fds[1] = child_fds[2] =
        ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (child_fds[0] < 0) return false;
    // Raw from the start: keys arrive as typed (Enter as CR), whatever moment
    // the program's console takes the terminal over. A line discipline still
    // cooking the input then would turn CR into LF, which a console reading
    // raw keys does not take for Enter.
    struct termios mode;
    if (::tcgetattr(child_fds[0], &mode) == 0) {
      ::cfmakeraw(&mode);
      ::tcsetattr(child_fds[0], TCSANOW, &mode);
    }
    input_fd_ = master;
    output_fds_[0] = ::fcntl(master, F_DUPFD_CLOEXEC, 0);
  } else {
    int pipes[3][2];
    for (auto& p : pipes)
      if (::pipe2(p, O_CLOEXEC) != 0) return false;
    child_fds[0] = pipes[0][0];
    input_fd_ = pipes[0][1];
    for (int i = 1; i < 3; ++i) {
      child_fds[i] = pipes[i][1];
      output_fds_[i - 1] = pipes[i][0];
    }
  }
  // Writing to a child that has gone must fail, not end the test.
  ::signal(SIGPIPE, SIG_IGN);

  // Everything the child needs is built before fork: until it execs it may
  // only make async-signal-safe calls.
  std::vector<std::string> argv_texts{options.program};
  argv_texts.insert(argv_texts.end(), options.arguments.begin(), options.arguments.end());
  std::vector<std::string> env_texts;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    bool replaced = false;
    for (const auto& pair : options.environment)
      replaced = replaced || text.compare(0, pair.first.size() + 1, pair.first + "=") == 0;
    if (!replaced) env_texts.push_back(text);
  }
  for (const auto& pair : options.environment) env_texts.push_back(pair.first + "=" + pair.second);
  std::vector<char*> argv = pointers(argv_texts), envp = pointers(env_texts);
  const char* directory =
      options.working_directory.empty() ? nullptr : options.working_directory.c_str();

  pid_ = ::fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    ::setsid();
    if (terminal_) ::ioctl(child_fds[0], TIOCSCTTY, 0);
    for (int i = 0; i < 3; ++i) ::dup2(child_fds[i], i);
    if (directory && ::chdir(directory) != 0) ::_exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  for (int i = 0; i < (terminal_ ? 1 : 3); ++i) ::close(child_fds[i]);
  return true;
}

bool ChildProcess::take_output(int timeout_ms) const {
  pollfd fds[2] = {{output_fds_[0], POLLIN, 0}, {output_fds_[1], POLLIN, 0}};
  if (!output_open() || ::poll(fds, 2, timeout_ms) <= 0) return false;
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || !fds[i].revents) continue;
    char chunk[4096];
    const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
    if (n > 0)
      texts_[i].append(chunk, static_cast<size_t>(n));
    else if (n == 0 || errno != EINTR)
      close_fd(output_fds_[i]);  // end of output (EIO on a terminal)
  }
  return true;
}

bool ChildProcess::write_input(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(input_fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void ChildProcess::close_input() {
  if (!terminal_) close_fd(input_fd_);
}

bool ChildProcess::wait_for_output(const std::string& text, int timeout_ms, size_t from) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  const auto found = [&] {
    return texts_[0].size() >= from && texts_[0].find(text, from) != std::string::npos;
  };
  while (!found() && output_open() && ms_until(deadline) > 0) take_output(ms_until(deadline));
  return found();
}

int ChildProcess::wait(int timeout_ms) {
  if (exited_) return exit_code_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exited_ = true;
      exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      // Take what is still in the pipes; a terminal may stay open in the
      // child's own children.
      const auto drained = Clock::now() + std::chrono::milliseconds(terminal_ ? 300 : 2000);
      while (output_open() && ms_until(drained) > 0) take_output(ms_until(drained));
      return exit_code_;
    }
    if (done < 0 || ms_until(deadline) == 0) return -1;
    take_output(10);
  }
}

void ChildProcess::send_signal(int signal) {
  if (pid_ > 0 && !exited_) ::kill(pid_, signal);
}

std::string ChildProcess::output() const {
  while (take_output(0)) {
  }
  return texts_[0];
}

std::string ChildProcess::errors() const {
  output();
  return texts_[1];
}

std::string terminal_text(const std::string& raw) {
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    const size_t after_returns = raw.find_first_not_of('\r', i);
    if (c == '\r' && after_returns < raw.size() && raw[after_returns] == '\n') {
      i = after_returns - 1;  // the line feed follows on its own
    } else if (c != '\x1b') {
      out += c;
    } else if (i + 1 >= raw.size()) {
      break;
    } else if (raw[i + 1] == '[') {  // CSI: parameters, then one final byte 0x40-0x7E
      size_t j = i + 2;
      while (j < raw.size() && !(raw[j] >= 0x40 && raw[j] <= 0x7e)) ++j;
      if (j < raw.size() && raw[j] == 'C')
        out.append(static_cast<size_t>(std::max(1, std::atoi(&raw[i + 2]))), ' ');
      i = j;
    } else if (raw[i + 1] == ']') {  // OSC: up to BEL or ESC backslash
      size_t j = i + 2;
      while (j < raw.size() && raw[j] != '\x07' && raw[j] != '\x1b') ++j;
      i = (j < raw.size() && raw[j] == '\x1b') ? j + 1 : j;
    } else {
      i += 1;  // a two-byte sequence such as ESC 7 or ESC =
    }
  }
  return out;
}

#endif  // _WIN32
