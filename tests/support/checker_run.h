// Running checker workers from tests the way the program does: a project
// file with chosen options, a run started through create_project or
// start_run, and the end of the run seen through the workers' end notices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"

struct ProjectOptions {
  uint32_t on_http_error = 0;
  uint32_t on_no_connection = 0;
  uint32_t threads = 1;
  uint32_t dead_links_text = 0;
};

// Writes a project file: a header with these options, then the records.
void write_project(const std::string& file, const ProjectOptions& options,
                   const std::vector<LVK_URL>& records);

// Makes `file` the current project (project_path).
void select_project(const std::string& file);

// While it lives, counts the end notices (app command 9) and keeps the texts
// given to the message routine in GUI mode.
class RunWatcher {
 public:
  RunWatcher();
  ~RunWatcher();
  RunWatcher(const RunWatcher&) = delete;
  RunWatcher& operator=(const RunWatcher&) = delete;
  int end_notices() const;
  std::vector<std::string> messages() const;
  void reset();
  // Waits until no worker runs and `notices` end notices have come; false
  // after timeout_ms.
  bool wait_for_end(int notices, int timeout_ms) const;
};

// A run of `workers` workers as the program makes it for an existing project
// (create_project), stopped once every worker has posted its end notice, as
// the main window does; false when it did not end within timeout_ms.
bool run_project(RunWatcher& watcher, int workers, int timeout_ms = 30000);

// The same through start_run alone, without create_project's own steps
// (which may point the dead-link list at the real desktop).
bool run_with_start_run(RunWatcher& watcher, int workers, int timeout_ms = 30000);
