// The window thread's events for tests that drive the real wizard window:
// the Win32 message queue, or the GLib main loop on Linux.
#pragma once

#include <chrono>

// Runs one waiting event (one main-loop iteration on Linux); false when none
// was waiting.
bool pump_one_event();
// True while the window of that handle is open.
bool window_is_open(void* handle);
void sleep_a_little();  // 10 ms

// Runs events one at a time until `done` holds or `milliseconds` have
// passed; `done` is asked after each, so nothing beyond it runs.
template <typename Done>
void pump_until(Done done, int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done() && std::chrono::steady_clock::now() < end)
    if (!pump_one_event()) sleep_a_little();
}
