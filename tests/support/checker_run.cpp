#include "tests/support/checker_run.h"

#include <atomic>
#include <chrono>
#include <mutex>

#include "checker/worker.h"
#include "core/globals.h"
#include "core/project.h"
#include "platform/platform.h"
#include "tests/support/project_builder.h"

namespace {

std::atomic<int> notices{0};
std::mutex messages_mutex;
std::vector<std::string> message_log;

void count_notice(void*, unsigned command) {
  if (command == 9) notices.fetch_add(1);
}

void log_message(const std::string& text, const std::string&, platform::MessageIcon) {
  std::lock_guard<std::mutex> lock(messages_mutex);
  message_log.push_back(text);
}

// Starts the run, waits for its end and stops it as the main window does.
bool run_until_end(RunWatcher& watcher, int workers, int timeout_ms, bool (*start)()) {
  watcher.reset();
  start();
  const bool ended = watcher.wait_for_end(workers, timeout_ms);
  request_stop();
  return ended;
}

bool create_existing() { return create_project(false); }

}  // namespace

void write_project(const std::string& file, const ProjectOptions& options,
                   const std::vector<LVK_URL>& records) {
  ProjectHeader header{};
  header.format = 1;
  header.on_http_error = options.on_http_error;
  header.on_no_connection = options.on_no_connection;
  header.threads = options.threads;
  header.dead_links_text = options.dead_links_text;
  write_project_bytes(file, header, records);
}

void select_project(const std::string& file) {
  copy_field(project_path, sizeof project_path, file);
}

RunWatcher::RunWatcher() {
  reset();
  platform::set_app_command_sink(count_notice);
  platform::set_message_hook(log_message);
}

RunWatcher::~RunWatcher() {
  platform::set_app_command_sink(nullptr);
  platform::set_message_hook(nullptr);
}

int RunWatcher::end_notices() const { return notices.load(); }

void RunWatcher::reset() {
  notices.store(0);
  std::lock_guard<std::mutex> lock(messages_mutex);
  message_log.clear();
}

bool RunWatcher::wait_for_end(int expected, int timeout_ms) const {
  // A worker counts itself out before it posts its notice: both are needed.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (running_workers.load() != 0 || notices.load() < expected) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    platform::sleep_ms(2);
  }
  return true;
}

std::vector<std::string> RunWatcher::messages() const {
  std::lock_guard<std::mutex> lock(messages_mutex);
  return message_log;
}

bool run_project(RunWatcher& watcher, int workers, int timeout_ms) {
  return run_until_end(watcher, workers, timeout_ms, create_existing);
}

bool run_with_start_run(RunWatcher& watcher, int workers, int timeout_ms) {
  return run_until_end(watcher, workers, timeout_ms, start_run);
}
