// The checker worker: one thread that takes the project's records one by one
// from the run's shared cursor.
#pragma once

#include "core/project.h"

// The worker's thread body, started by start_run.
void checker_worker(SliceTask* task);

// Ends the current run: sets stop_requested, closes the HTTP session (which
// releases every worker waiting on a server) and stops the progress timer.
void request_stop();
