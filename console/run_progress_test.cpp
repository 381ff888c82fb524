// The console's watch over a run, the workers' counts scripted pass by pass.
// The real period, and the early end once the last worker stops, the
// end-to-end console tests time.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/run_progress.h"
#include "core/globals.h"

namespace {

const std::vector<uint32_t> kCounts = {1, 8, 8};  // the last worker's slot at each pass
size_t g_pass = 0;

void next_pass(unsigned) {
  if (++g_pass < kCounts.size())
    worker_position[9].store(kCounts[g_pass]);
  else
    running_workers.store(0);  // which ends the run
}

// A count seen again is not printed again; percentages are cut toward zero,
// and never divided by zero nor overflowing on the way.
TEST(WatchRun, PrintsEachNewCountUntilNoWorkerRuns) {
  const uint32_t saved_total = record_total;
  record_total = 9;
  running_workers.store(1);
  worker_position[9].store(kCounts[0]);
  std::FILE* out = std::tmpfile();
  watch_run(out, next_pass);
  std::string text(static_cast<size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  text.resize(std::fread(&text[0], 1, text.size(), out));
  std::fclose(out);
  worker_position[9].store(0);
  record_total = saved_total;  // no assertion above can leave early
  EXPECT_EQ(text, "1/9 favorites scanned (11%)...\r\n8/9 favorites scanned (88%)...\r\n");
  EXPECT_EQ(scanned_percent(2, 0), 0u);
  EXPECT_EQ(scanned_percent(4000000000u, 4000000000u), 100u);
}

}  // namespace
