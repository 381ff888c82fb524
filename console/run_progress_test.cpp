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

const std::vector<uint32_t> kCounts = {1, 8, 8, 9};  // the last worker's slot at each pass
size_t g_pass = 0;

void next_pass(unsigned) {
  if (++g_pass < kCounts.size())
    worker_position[9].store(kCounts[g_pass]);
  else
    running_workers.store(0);  // the worker stops
}

// A count seen again is not printed again; percentages are cut toward zero.
// The watch ends once all are scanned, though the worker still runs, or once
// the worker stops.
TEST(WatchRun, PrintsEachNewCountUntilAllAreScannedOrNoWorkerRuns) {
  const struct {
    uint32_t total;
    size_t passes;
    std::string text;
  } runs[] = {
      {9, 3, "1/9 favorites scanned (11%)...\r\n8/9 favorites scanned (88%)...\r\n"
             "9/9 favorites scanned (100%)...\r\n"},
      {10, 4, "1/10 favorites scanned (10%)...\r\n8/10 favorites scanned (80%)...\r\n"
              "9/10 favorites scanned (90%)...\r\n"},
  };
  for (const auto& run : runs) {
    g_pass = 0;
    record_total = run.total;
    running_workers.store(1);
    worker_position[9].store(kCounts[0]);
    std::FILE* out = std::tmpfile();
    watch_run(out, next_pass);
    std::string text(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(&text[0], 1, text.size(), out));
    std::fclose(out);
    EXPECT_EQ(text, run.text);
    EXPECT_EQ(g_pass, run.passes) << run.text;
  }
  worker_position[9].store(0);
  running_workers.store(0);
  // Never divided by zero, no overflow on the way.
  EXPECT_EQ(scanned_percent(2, 0), 0u);
  EXPECT_EQ(scanned_percent(4000000000u, 4000000000u), 100u);
}

}  // namespace
