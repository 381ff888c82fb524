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

// Counts the end notices (app command 9) that reach the app command sink,
// and message boxes through the message hook, while it lives.
class RunWatcher {
 public:
  RunWatcher();
  ~RunWatcher();
  RunWatcher(const RunWatcher&) = delete;
  RunWatcher& operator=(const RunWatcher&) = delete;

  int end_notices() const;
  void reset();
  // Waits until no worker runs and `notices` end notices have come; false
  // after timeout_ms.
  bool wait_for_end(int notices, int timeout_ms) const;
  // Texts given to the message routine in GUI mode.
  std::vector<std::string> messages() const;
};

// The run as the program makes it for an existing project: create_project
// (which opens the session and starts the workers), then, once every worker
// has posted its end notice, request_stop as the main window does. `workers`
// is the number of workers the run starts. False when the run did not end
// within timeout_ms.
bool run_project(RunWatcher& watcher, int workers, int timeout_ms = 30000);

// The same through start_run alone, without create_project's own steps
// (which may point the dead-link list at the real desktop).
bool run_with_start_run(RunWatcher& watcher, int workers, int timeout_ms = 30000);
