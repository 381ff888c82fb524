// Running checker workers from tests and benchmarks as the program does, with
// what such a test works with: the globals, project files and temp folders.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/project.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

struct ProjectOptions {
  uint32_t on_http_error = 0, on_no_connection = 0, threads = 1, dead_links_text = 0;
};

// Writes a project file: a header with these choices, then the records.
void write_project(const std::string& file, const ProjectOptions& options,
                   const std::vector<LVK_URL>& records);
// Makes `file` the current project (project_path).
void select_project(const std::string& file);

// While it lives, counts the workers' end notices and keeps the texts given
// to the message routine (from the thread that starts runs).
struct RunWatcher {
  RunWatcher();
  ~RunWatcher();
  void reset();
  // Waits until no worker runs and `count` end notices have come; false
  // after timeout_ms.
  bool wait_for_end(int count, int timeout_ms) const;
  static std::atomic<int> notices;
  static std::vector<std::string> messages;
};

// A run of `workers` workers as start_run makes it for an existing project
// (which leaves the dead-link list where the test put it), stopped once every
// worker has posted its end notice, as the main window does; false when it
// did not end within timeout_ms.
bool run_project(RunWatcher& watcher, int workers, int timeout_ms = 30000);

// The records of project file bytes `now` that equal those of `done` rather
// than those of `pending`; a record equal to neither (half-written) fails.
size_t records_done(const std::string& now, const std::string& pending, const std::string& done);
