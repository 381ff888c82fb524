// A fault-injecting layer under the platform's file calls, for tests.
//
// While a plan is installed, every write through platform::File, every
// profile write and every rename that replaces a file asks this layer first,
// on both backends. A test can make the n-th write fail (storing some of its
// bytes first), let the disk fill up after k bytes, or make the n-th rename
// fail, and it can count the writes and renames an operation makes so that it
// can fail each of them in turn. Product code never includes this header; with
// no plan installed each check is one relaxed atomic load.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

struct FaultPlan {
  uint64_t fail_write = 0;         // the n-th write from now fails (1-based); 0: none
  size_t failing_write_keeps = 0;  // bytes that failing write still stores
  int64_t disk_space = -1;         // bytes that fit before the disk is full; -1: no limit
  uint64_t fail_rename = 0;        // the n-th rename from now fails (1-based); 0: none
};

namespace faults {

// Installs a plan and starts counting anew; remove() ends it.
void install(const FaultPlan& plan);
void remove();
// Writes and renames seen since the plan was installed.
uint64_t writes_seen();
uint64_t renames_seen();

// For the backends: how many of n bytes this write may store (n when it may
// store them all), and whether a rename may go ahead.
size_t admit_write(size_t n);
bool admit_rename();

}  // namespace faults

// Installs a plan for the life of a scope.
class ScopedFaultPlan {
 public:
  explicit ScopedFaultPlan(const FaultPlan& plan) { faults::install(plan); }
  ~ScopedFaultPlan() { faults::remove(); }
  ScopedFaultPlan(const ScopedFaultPlan&) = delete;
  ScopedFaultPlan& operator=(const ScopedFaultPlan&) = delete;
};

}  // namespace platform
