// The test plan behind platform/fault_injection.h. Tests install plans from
// one thread, but the writes they count may come from workers, so the state
// sits behind one lock; the flag keeps the lock out of the way otherwise.
#include "platform/fault_injection.h"

#include <atomic>
#include <mutex>

namespace platform {
namespace faults {
namespace {

std::atomic<bool> active{false};
std::mutex state_mutex;
FaultPlan plan;
uint64_t writes = 0;
uint64_t renames = 0;

}  // namespace

void install(const FaultPlan& new_plan) {
  std::lock_guard<std::mutex> lock(state_mutex);
  plan = new_plan;
  writes = 0;
  renames = 0;
  active.store(true);
}

void remove() {
  std::lock_guard<std::mutex> lock(state_mutex);
  active.store(false);
  plan = FaultPlan();
}

uint64_t writes_seen() {
  std::lock_guard<std::mutex> lock(state_mutex);
  return writes;
}

uint64_t renames_seen() {
  std::lock_guard<std::mutex> lock(state_mutex);
  return renames;
}

size_t admit_write(size_t n) {
  if (!active.load(std::memory_order_relaxed)) return n;
  std::lock_guard<std::mutex> lock(state_mutex);
  size_t allowed = n;
  if (++writes == plan.fail_write && plan.fail_write != 0)
    allowed = plan.failing_write_keeps < n ? plan.failing_write_keeps : n;
  if (plan.disk_space >= 0) {
    if (static_cast<uint64_t>(plan.disk_space) < allowed)
      allowed = static_cast<size_t>(plan.disk_space);
    plan.disk_space -= static_cast<int64_t>(allowed);
  }
  return allowed;
}

bool admit_rename() {
  if (!active.load(std::memory_order_relaxed)) return true;
  std::lock_guard<std::mutex> lock(state_mutex);
  return !(++renames == plan.fail_rename && plan.fail_rename != 0);
}

}  // namespace faults
}  // namespace platform
