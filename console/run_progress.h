// The console's watch over a run: one pass every five seconds, printing how
// many bookmarks the workers have scanned, until the run ends.
#pragma once

#include <cstdint>
#include <cstdio>

// Time between two passes of the watch.
constexpr unsigned kPollPeriodMs = 5000;

// Sum of the ten worker_position slots.
uint32_t scanned_count();

// scanned * 100 / total in floating point, cut toward zero; 0 when total is 0
// (a project without records), so nothing is ever divided by zero.
unsigned scanned_percent(uint32_t scanned, uint32_t total);

// Waits up to `milliseconds` between two passes. It may come back early, but
// only once the run has ended, so the printed lines are the same either way.
using PollWait = void (*)(unsigned milliseconds);

// Sleeps the period in short steps and comes back as soon as no worker runs.
void wait_for_next_pass(unsigned milliseconds);

// Passes until scanned == record_total or no worker runs; the first pass runs
// at once. A line "%u/%u favorites scanned (%u%%)...\r\n" is printed when the
// scanned count is not 0 and differs from the last one printed.
void watch_run(std::FILE* out, PollWait wait = wait_for_next_pass);
