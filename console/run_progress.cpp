#include "console/run_progress.h"

#include <climits>

#include "core/globals.h"
#include "platform/platform.h"

namespace {

constexpr unsigned kWaitStepMs = 50;

bool run_over(uint32_t scanned) {
  return scanned == record_total || running_workers.load() <= 0;
}

}  // namespace

uint32_t scanned_count() {
  uint32_t sum = 0;
  for (const auto& slot : worker_position) sum += slot.load(std::memory_order_relaxed);
  return sum;
}

unsigned scanned_percent(uint32_t scanned, uint32_t total) {
  if (total == 0) return 0;
  const double percent = static_cast<double>(scanned) * 100.0 / static_cast<double>(total);
  if (percent >= static_cast<double>(UINT_MAX)) return UINT_MAX;
  return static_cast<unsigned>(percent);
}

void wait_for_next_pass(unsigned milliseconds) {
  for (unsigned waited = 0; waited < milliseconds; waited += kWaitStepMs) {
    if (running_workers.load() <= 0) return;
    const unsigned left = milliseconds - waited;
    platform::sleep_ms(left < kWaitStepMs ? left : kWaitStepMs);
  }
}

void watch_run(std::FILE* out, PollWait wait) {
  uint32_t printed = 0;
  for (;;) {
    const uint32_t scanned = scanned_count();
    if (scanned != 0) {
      if (scanned != printed) {
        std::fprintf(out, "%u/%u favorites scanned (%u%%)...\r\n", static_cast<unsigned>(scanned),
                     static_cast<unsigned>(record_total), scanned_percent(scanned, record_total));
        std::fflush(out);
      }
      printed = scanned;
    }
    if (run_over(scanned)) return;
    wait(kPollPeriodMs);
  }
}
