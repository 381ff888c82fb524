#include "tests/support/checker_run.h"

#include <chrono>

#include <gtest/gtest.h>

#include "checker/worker.h"
#include "core/app_commands.h"

std::atomic<int> RunWatcher::notices{0};
std::vector<std::string> RunWatcher::messages;

void write_project(const std::string& file, const ProjectOptions& o,
                   const std::vector<LVK_URL>& records) {
  write_project_bytes(file, {1, o.on_http_error, o.on_no_connection, o.threads, 0, o.dead_links_text, {}},
                      records);
}

void select_project(const std::string& file) {
  copy_field(project_path, sizeof project_path, file);
}

RunWatcher::RunWatcher() {
  reset();
  platform::set_app_command_sink([](void*, unsigned command) {
    if (command == app_worker_ended) notices.fetch_add(1);
  });
  platform::set_message_hook([](const std::string& text, const std::string&, platform::MessageIcon) {
    messages.push_back(text);
  });
}

RunWatcher::~RunWatcher() {
  platform::set_app_command_sink(nullptr);
  platform::set_message_hook(nullptr);
}

void RunWatcher::reset() {
  notices.store(0);
  messages.clear();
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

bool run_project(RunWatcher& watcher, int workers, int timeout_ms) {
  watcher.reset();
  start_run();
  const bool ended = watcher.wait_for_end(workers, timeout_ms);
  request_stop();
  return ended;
}

size_t records_done(const std::string& now, const std::string& pending, const std::string& done) {
  EXPECT_EQ(now.size(), pending.size());
  size_t count = 0;
  for (size_t at = kHeaderSize; at < now.size(); at += kRecordSize) {
    const std::string record = now.substr(at, kRecordSize);
    count += record == done.substr(at, kRecordSize);
    EXPECT_TRUE(record == done.substr(at, kRecordSize) || record == pending.substr(at, kRecordSize))
        << "record " << (at - kHeaderSize) / kRecordSize << " is half-written";
  }
  return count;
}
