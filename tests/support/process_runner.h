// Runs a program as a child process with its standard input fed by the test
// and its output collected, either through pipes or on a pseudo-terminal.
// POSIX only: the Windows builds drive their console flows from the Linux
// side (a Windows program's own console is not connected to pipes).
#pragma once

#ifndef _WIN32

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

struct ProcessOptions {
  std::string program;
  std::vector<std::string> arguments;  // after the program's own name
  std::string working_directory;       // empty: the test's own
  // Set in the child's environment on top of the test's own.
  std::vector<std::pair<std::string, std::string>> environment;
  // Standard input, output and error on one pseudo-terminal instead of
  // pipes; output() then holds everything the terminal showed.
  bool terminal = false;
};

// Output is taken in whenever the test asks for it or waits, so a child
// never blocks on a full pipe while the test waits on it.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // kills a child that still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool start(const ProcessOptions& options);
  // Writes to the child's standard input (the terminal's keyboard).
  bool write_input(const std::string& bytes);
  // Ends the child's standard input (pipes only).
  void close_input();

  // Waits until the output contains `text` (from byte `from` on); false after
  // timeout_ms or once the child's output has ended without it.
  bool wait_for_output(const std::string& text, int timeout_ms, size_t from = 0);
  // Waits for the child to end: its exit code, 128 + signal when a signal
  // ended it, -1 on time-out.
  int wait(int timeout_ms);
  void send_signal(int signal);

  std::string output() const;  // standard output (all of it on a terminal)
  std::string errors() const;  // standard error (pipes only)

 private:
  // Takes in what the child wrote, waiting up to timeout_ms for it; false
  // when nothing came.
  bool take_output(int timeout_ms) const;
  bool output_open() const { return output_fds_[0] >= 0 || output_fds_[1] >= 0; }

  pid_t pid_ = -1;
  int input_fd_ = -1;
  mutable int output_fds_[2] = {-1, -1};  // standard output, standard error
  mutable std::string texts_[2];
  bool terminal_ = false;
  int exit_code_ = -1;
  bool exited_ = false;
};

// The text a terminal showed, without its control sequences: a cursor move
// forward (ESC [ n C) becomes n blanks, as some consoles draw blanks that
// way; every other ESC [ ... sequence, ESC ] ... BEL and two-byte ESC
// sequences are dropped; carriage returns before a line feed are dropped.
std::string terminal_text(const std::string& raw);

#endif  // _WIN32
