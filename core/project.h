// Making a project file and starting a run over it.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/records.h"
#include "platform/platform.h"

// The start block that start_run hands to each worker. The worker copies the
// three numbers and then sets `taken`, after which the block is reused.
//
// A run's records are not cut into fixed blocks: every worker takes the next
// record from the shared cursor next_record, so a slow link holds up one
// worker and never a whole block. `first` is the index of the run's first
// record and `count` the number of records in the run (the whole file for
// start_run); a worker handles record first + n for each n it takes from the
// cursor below `count`. `index` is the worker's slot (0 to 9), which selects
// its worker_position entry.
struct SliceTask {
  uint32_t first = 0;
  uint32_t count = 0;
  uint32_t index = 0;
  std::atomic<bool> taken{false};
};

// The new project file while a reader fills it.
extern platform::File project_stream;

// Appends one record to project_stream and raises record_total by one. A
// write that fails marks the stream failed; later appends then write nothing.
void append_record(const LVK_URL& record);

// Makes the project named by project_path unless it exists, then (unless
// create_only) starts a run of it. A new project is written whole under a
// temporary name and only then given its own name, so a project file never
// holds part of a project. False, with the failure shown through the message
// routine, when the project could not be made or the run could not start.
bool create_project(bool create_only);

// Opens project_path and the HTTP session, clears the stop request and the
// progress slots, and starts one checker worker per thread of the header.
// Refuses while a worker of an earlier run still runs. False, with the
// failure shown, when no worker could be started.
bool start_run();

// A run has 1 to 10 workers; any other count typed or stored gives one.
inline uint32_t usable_thread_count(long count) {
  return count >= 1 && count <= 10 ? static_cast<uint32_t>(count) : 1u;
}

// Reads the header of a project file, from its start; false when the file is
// missing or shorter than a header. Every reader of a project goes through
// one of these.
bool read_project_header(platform::File& file, ProjectHeader& header);
bool read_project_header(const char* path, ProjectHeader& header);

// Derives dead_list_path from the desktop folder.
void derive_dead_list_path();
