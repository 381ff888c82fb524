// The console's watch over a run, the workers' counts scripted pass by pass;
// the real period and the early end are timed in tests/console_e2e_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/run_progress.h"
#include "core/globals.h"

namespace {

// What each pass sees: the counts in the first and the last worker slot,
// and the workers still running.
using Pass = std::vector<int32_t>;
std::vector<Pass> g_passes;
size_t g_next = 0;
void show(const Pass& pass) {
  worker_position[0].store(pass[0]);
  worker_position[9].store(pass[1]);
  running_workers.store(pass[2]);
}
void next_pass(unsigned milliseconds) {
  EXPECT_EQ(milliseconds, kPollPeriodMs);
  EXPECT_LT(g_next, g_passes.size()) << "more passes than scripted";
  show(g_next < g_passes.size() ? g_passes[g_next++] : Pass{0, 0, 0});  // which ends the run
}

class WatchRun : public ::testing::Test {  // puts the globals back whatever happens
  void TearDown() override { show({0, 0, 0}); record_total = saved_total_; }
  const uint32_t saved_total_ = record_total;
};

TEST_F(WatchRun, PrintsChangedCountsUntilAllAreScannedOrNoWorkerRuns) {
  const struct {
    uint32_t total;
    std::vector<Pass> passes;  // the first comes at once
    std::string text;
  } cases[] = {
      {0, {{0, 0, 1}}, ""},   // no records
      {10, {{0, 0, 0}}, ""},  // no worker running
      {0, {{2, 0, 0}}, "2/0 favorites scanned (0%)...\r\n"},  // never divided by zero
      {9, {{1, 0, 2}, {2, 1, 2}, {2, 1, 2}, {4, 4, 1}, {4, 4, 0}},  // percent cut toward zero
       "1/9 favorites scanned (11%)...\r\n3/9 favorites scanned (33%)...\r\n"
       "8/9 favorites scanned (88%)...\r\n"},
      {4, {{2, 0, 2}, {2, 2, 2}},  // all scanned with workers still running
       "2/4 favorites scanned (50%)...\r\n4/4 favorites scanned (100%)...\r\n"},
  };
  for (const auto& c : cases) {
    record_total = c.total;
    g_passes = c.passes;
    g_next = 1;
    show(c.passes[0]);
    std::FILE* out = std::tmpfile();
    watch_run(out, next_pass);
    std::string text(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(&text[0], 1, text.size(), out));
    std::fclose(out);
    EXPECT_EQ(text, c.text) << c.text;
    EXPECT_EQ(g_next, c.passes.size()) << c.text;
  }
  EXPECT_EQ(scanned_percent(4000000000u, 4000000000u), 100u);  // no overflow on the way
}

}  // namespace
