// Making a project file and starting a run over it.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/records.h"
#include "platform/platform.h"

// The start block that start_run hands to each worker. The worker copies the
// three numbers and then sets `taken`, after which the block is reused.
struct SliceTask {
  uint32_t first = 0;
  uint32_t count = 0;
  uint32_t index = 0;
  std::atomic<bool> taken{false};
};

using WorkerEntry = void (*)(SliceTask* task);

// The new project file while a reader fills it.
extern platform::File project_stream;

// Appends one record to project_stream and raises record_total by one.
void append_record(const LVK_URL& record);

// Makes the project named by project_path unless it exists, then (unless
// create_only) opens the HTTP session and starts a run of it.
void create_project(bool create_only);

// Opens project_path, divides its records into slices and starts one checker
// worker per slice.
void start_run();
// The same with another worker body; tests use it to watch the slicing.
void start_run_with(WorkerEntry worker);

// Reads the header of a project file; false when the file is missing or
// shorter than a header.
bool read_project_header(const char* path, ProjectHeader& header);

// Derives dead_list_path from the desktop folder.
void derive_dead_list_path();
