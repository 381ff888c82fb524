#include "tests/support/process_runner.h"

#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <thread>

extern char** environ;

ChildProcess::~ChildProcess() {
  send_signal(SIGKILL);
  wait(5000);
}

bool ChildProcess::start(const ProcessOptions& options) {
  std::vector<std::string> texts[2] = {{options.program}, {}};  // arguments, environment
  texts[0].insert(texts[0].end(), options.arguments.begin(), options.arguments.end());
  for (char** entry = environ; *entry; ++entry)
    if (std::none_of(options.environment.begin(), options.environment.end(), [&](const auto& set) {
          return std::string(*entry).rfind(set.first + "=", 0) == 0;
        }))
      texts[1].push_back(*entry);
  for (const auto& [name, value] : options.environment) texts[1].push_back(name + "=" + value);
  std::vector<char*> pointers[2];
  for (int i = 0; i < 2; ++i) {
    for (std::string& text : texts[i]) pointers[i].push_back(&text[0]);
    pointers[i].push_back(nullptr);
  }
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, options.input.c_str(), O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, options.output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (!options.working_directory.empty())
    ::posix_spawn_file_actions_addchdir_np(&actions, options.working_directory.c_str());
  const bool started = ::posix_spawn(&pid_, pointers[0][0], &actions, nullptr,
                                     pointers[0].data(), pointers[1].data()) == 0;
  ::posix_spawn_file_actions_destroy(&actions);
  if (!started) pid_ = -1;
  return started;
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
