// Runs a program as a child process with its standard input and output in
// files. POSIX only: the Windows build is driven from Linux under wine64.
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
  std::vector<std::pair<std::string, std::string>> environment;  // added to the test's
  // Standard input from `input` (a FIFO the test holds open, perhaps);
  // standard output and error to `output`, made anew.
  std::string input = "/dev/null", output = "/dev/null";
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // kills a child that still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool start(const ProcessOptions& options);
  // The exit code, 128 + signal when a signal ended it, -1 on time-out.
  int wait(int timeout_ms);
  void send_signal(int signal);

 private:
  pid_t pid_ = -1;  // -1 when no child runs
  int exit_code_ = -1;
};

#endif  // _WIN32
