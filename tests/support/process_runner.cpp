#include "tests/support/process_runner.h"

#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

// The child's environment: the test's own with the options' values on top.
// Built before fork, since the child may only call async-signal-safe
// functions until it execs.
std::vector<std::string> child_environment(const ProcessOptions& options) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const auto& pair : options.environment) replaced = replaced || pair.first == name;
    if (!replaced) result.push_back(text);
  }
  for (const auto& pair : options.environment) result.push_back(pair.first + "=" + pair.second);
  return result;
}

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

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exited_) {
    ::kill(pid_, SIGKILL);
    wait(5000);
  }
  close_fd(input_fd_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    output_closed_ = true;
  }
  if (collector_.joinable()) collector_.join();
  close_fd(output_fd_);
  close_fd(error_fd_);
}

bool ChildProcess::start(const ProcessOptions& options) {
  terminal_ = options.terminal;
  int child_in = -1, child_out = -1, child_err = -1;
  if (terminal_) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return false;
    const char* slave_name = ::ptsname(master);
    if (!slave_name) return false;
    const std::string slave_path = slave_name;
    struct winsize size = {};
    size.ws_row = 25;
    size.ws_col = 200;
    ::ioctl(master, TIOCSWINSZ, &size);
    child_in = ::open(slave_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (child_in < 0) return false;
    child_out = child_in;
    child_err = child_in;
    input_fd_ = master;
    output_fd_ = ::dup(master);
    ::fcntl(output_fd_, F_SETFD, FD_CLOEXEC);
  } else {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (::pipe2(in_pipe, O_CLOEXEC) != 0) return false;
    if (::pipe2(out_pipe, O_CLOEXEC) != 0) return false;
    if (::pipe2(err_pipe, O_CLOEXEC) != 0) return false;
    child_in = in_pipe[0];
    input_fd_ = in_pipe[1];
    child_out = out_pipe[1];
    output_fd_ = out_pipe[0];
    child_err = err_pipe[1];
    error_fd_ = err_pipe[0];
  }
  // Writing to a child that has gone must fail, not end the test.
  ::signal(SIGPIPE, SIG_IGN);

  std::vector<std::string> argv_texts{options.program};
  argv_texts.insert(argv_texts.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv = pointers(argv_texts);
  std::vector<std::string> env_texts = child_environment(options);
  std::vector<char*> envp = pointers(env_texts);
  const bool terminal = terminal_;
  const char* directory =
      options.working_directory.empty() ? nullptr : options.working_directory.c_str();

  pid_ = ::fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    ::setsid();
    if (terminal) ::ioctl(child_in, TIOCSCTTY, 0);
    ::dup2(child_in, 0);
    ::dup2(child_out, 1);
    ::dup2(child_err, 2);
    if (directory && ::chdir(directory) != 0) ::_exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (terminal) {
    ::close(child_in);
  } else {
    ::close(child_in);
    ::close(child_out);
    ::close(child_err);
  }
  collector_ = std::thread([this] { collect(); });
  return true;
}

void ChildProcess::collect() {
  bool out_open = output_fd_ >= 0, err_open = error_fd_ >= 0;
  char chunk[4096];
  while (out_open || err_open) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (output_closed_) break;  // the destructor is waiting
    }
    pollfd fds[2] = {{out_open ? output_fd_ : -1, POLLIN, 0}, {err_open ? error_fd_ : -1, POLLIN, 0}};
    const int ready = ::poll(fds, 2, 100);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
      std::lock_guard<std::mutex> lock(mutex_);
      if (n > 0) {
        (i == 0 ? output_ : errors_).append(chunk, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        (i == 0 ? out_open : err_open) = false;  // end of output (EIO on a terminal)
      }
    }
    changed_.notify_all();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  output_closed_ = true;
  changed_.notify_all();
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
  std::unique_lock<std::mutex> lock(mutex_);
  const auto found = [&] {
    return output_.size() >= from && output_.find(text, from) != std::string::npos;
  };
  changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                    [&] { return found() || output_closed_; });
  return found();
}

int ChildProcess::wait(int timeout_ms) {
  if (exited_) return exit_code_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exited_ = true;
      exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      // Let the collector take what is still in the pipe.
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait_for(lock, std::chrono::milliseconds(terminal_ ? 300 : 2000),
                        [&] { return output_closed_; });
      return exit_code_;
    }
    if (done < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
    ::usleep(10000);
  }
}

void ChildProcess::send_signal(int signal) {
  if (pid_ > 0 && !exited_) ::kill(pid_, signal);
}

std::string ChildProcess::output() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return output_;
}

std::string ChildProcess::errors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return errors_;
}

std::string terminal_text(const std::string& raw) {
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '\r') {
      size_t j = i;
      while (j < raw.size() && raw[j] == '\r') ++j;
      if (j < raw.size() && raw[j] == '\n') {
        i = j - 1;  // the line feed follows on its own
        continue;
      }
      out += c;
      continue;
    }
    if (c != '\x1b') {
      out += c;
      continue;
    }
    if (i + 1 >= raw.size()) break;
    const char kind = raw[i + 1];
    if (kind == '[') {  // CSI: parameters, then one final byte 0x40-0x7E
      size_t j = i + 2;
      while (j < raw.size() && !(raw[j] >= 0x40 && raw[j] <= 0x7e)) ++j;
      if (j < raw.size() && raw[j] == 'C') {
        const std::string count = raw.substr(i + 2, j - i - 2);
        const int n = count.empty() ? 1 : std::atoi(count.c_str());
        out.append(static_cast<size_t>(n > 0 ? n : 1), ' ');
      }
      i = j;
    } else if (kind == ']') {  // OSC: up to BEL or ESC backslash
      size_t j = i + 2;
      while (j < raw.size() && raw[j] != '\x07' &&
             !(raw[j] == '\x1b' && j + 1 < raw.size() && raw[j + 1] == '\\'))
        ++j;
      i = (j < raw.size() && raw[j] == '\x1b') ? j + 1 : j;
    } else {
      i += 1;  // a two-byte sequence such as ESC 7 or ESC =
    }
  }
  return out;
}

#endif  // _WIN32
