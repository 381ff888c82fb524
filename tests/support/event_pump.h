// The window thread's events for tests that drive the real wizard window:
// the Win32 message queue, or the GLib main loop on Linux.
#pragma once

// Runs the events waiting now, without blocking.
void pump_pending_events();
// Runs events until `done` holds or `milliseconds` have passed.
template <typename Done>
void pump_until(Done done, int milliseconds);
// True while the window of that handle is open.
bool window_is_open(void* handle);
void sleep_a_little();  // 10 ms

template <typename Done>
void pump_until(Done done, int milliseconds) {
  for (int waited = 0; !done() && waited < milliseconds; waited += 10) {
    pump_pending_events();
    sleep_a_little();
  }
}
