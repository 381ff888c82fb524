// The console's watch over a run, the workers' counts scripted pass by pass;
// the real period and the early end are timed in tests/console_e2e_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/run_progress.h"
#include "core/globals.h"

namespace {

TEST(ScannedPercent, CutTowardZeroAndNeverDividingByZero) {
  const uint32_t table[][3] = {{2, 3, 66},  {3, 3, 100}, {199, 200, 99},
                               {5, 0, 0},   {4000000000u, 4000000000u, 100}};  // no overflow
  for (const auto& row : table)
    EXPECT_EQ(scanned_percent(row[0], row[1]), row[2]) << row[0] << "/" << row[1];
}

// What one pass sees: the counts in the first and the last worker slot, and
// the workers still running.
struct Pass {
  uint32_t first, last;
  int32_t running;
};
std::vector<Pass> g_passes;
size_t g_next = 0;

void show(const Pass& pass) {
  worker_position[0].store(pass.first);
  worker_position[9].store(pass.last);
  running_workers.store(pass.running);
}
void next_pass(unsigned milliseconds) {
  EXPECT_EQ(milliseconds, kPollPeriodMs);
  ASSERT_LT(g_next, g_passes.size()) << "the watch passed more often than scripted";
  show(g_passes[g_next++]);
}

// The first pass comes at once; the globals are put back whatever happens.
class WatchRun : public ::testing::Test {
 protected:
  void TearDown() override {
    show({0, 0, 0});
    record_total = saved_total_;
  }
  const uint32_t saved_total_ = record_total;
};

TEST_F(WatchRun, PrintsChangedCountsUntilAllAreScannedOrNoWorkerRuns) {
  const struct {
    const char* what;
    uint32_t total;
    std::vector<Pass> passes;
    std::string text;
  } cases[] = {
      {"no records: leaves at once", 0, {{0, 0, 1}}, ""},
      {"no worker running: leaves at the first pass", 10, {{0, 0, 0}}, ""},
      {"only a changed count is printed", 10, {{1, 0, 2}, {2, 1, 2}, {2, 1, 2}, {4, 4, 1}, {4, 4, 0}},
       "1/10 favorites scanned (10%)...\r\n3/10 favorites scanned (30%)...\r\n"
       "8/10 favorites scanned (80%)...\r\n"},
      {"all scanned ends it while workers still run", 4, {{2, 0, 2}, {2, 2, 2}},
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
    EXPECT_EQ(text, c.text) << c.what;
    EXPECT_EQ(g_next, c.passes.size()) << c.what << ": passes";
  }
}

}  // namespace
