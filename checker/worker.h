// The checker worker: one thread that takes the project's records one by one
// from the run's shared cursor.
#pragma once

#include "core/project.h"

// The worker's thread body, started by start_run.
void checker_worker(SliceTask* task);

// Ends the current run: sets stop_requested and closes the HTTP session,
// which releases every worker waiting on a server. The window that shows the
// progress stops its own timer.
void request_stop();
