#include "tests/support/process_runner.h"

#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

extern char** environ;

ChildProcess::~ChildProcess() {
  send_signal(SIGKILL);
  wait(5000);
}

// env(1) enters the folder, sets the variables and execs the program, which
// keeps its process.
bool ChildProcess::start(const ProcessOptions& options) {
  std::vector<std::string> texts = {"/usr/bin/env"};
  if (!options.working_directory.empty()) texts.insert(texts.end(), {"-C", options.working_directory});
  for (const auto& [name, value] : options.environment) texts.push_back(name + "=" + value);
  texts.push_back(options.program);
  texts.insert(texts.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(&text[0]);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, options.input.c_str(), O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, options.output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  ::posix_spawn_file_actions_destroy(&actions);
  return pid_ > 0;
}

int ChildProcess::wait(int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (int status = 0; pid_ > 0; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      pid_ = -1;
    } else if (done < 0 || std::chrono::steady_clock::now() >= deadline) {
      return -1;
    }
  }
  return exit_code_;
}

void ChildProcess::send_signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

#endif  // _WIN32
