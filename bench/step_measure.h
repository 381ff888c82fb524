// Time and peak memory of one step of a benchmark (Linux: /proc/self).
#pragma once

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

// Peak resident memory of the process so far, in KiB.
inline long peak_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

// Lets the peak be measured for one step: writing to clear_refs resets
// VmHWM to the current resident size.
inline void reset_peak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

struct Measure {
  double seconds;
  long peak_kib;   // above the resident size at the start
  long total_kib;  // the whole process's peak during the step
};

template <typename F>
Measure measure(F run) {
  reset_peak();
  const long before = peak_kib();
  const auto start = std::chrono::steady_clock::now();
  run();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long total = peak_kib();
  return {seconds, total - before, total};
}
