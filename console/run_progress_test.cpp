// The console's watch over a run, with the workers simulated between passes;
// the real five-second period is timed through the program in
// tests/console_e2e_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/run_progress.h"
#include "core/globals.h"

namespace {

// One pass's view of the simulated workers: the slot values and the number
// of workers still running, applied when the watch waits.
struct Step {
  std::vector<uint32_t> positions;
  int32_t running;
};

std::vector<Step> g_steps;
size_t g_next_step = 0;
std::vector<unsigned> g_waits;

void apply(const Step& step) {
  for (auto& slot : worker_position) slot.store(0);
  for (size_t i = 0; i < step.positions.size(); ++i) worker_position[i].store(step.positions[i]);
  running_workers.store(step.running);
}

void scripted_wait(unsigned milliseconds) {
  g_waits.push_back(milliseconds);
  ASSERT_LT(g_next_step, g_steps.size()) << "the watch passed more often than scripted";
  apply(g_steps[g_next_step++]);
}

// Runs the watch: `first` is the state before the first pass, `later` the
// states that each wait brings.
std::string watch(uint32_t total, const Step& first, const std::vector<Step>& later) {
  record_total = total;
  g_steps = later;
  g_next_step = 0;
  g_waits.clear();
  apply(first);
  std::FILE* out = std::tmpfile();
  watch_run(out, scripted_wait);
  std::string text(static_cast<size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  text.resize(std::fread(&text[0], 1, text.size(), out));
  std::fclose(out);
  apply(Step{{}, 0});
  return text;
}

TEST(ScannedPercent, CutTowardZeroAndNeverDividingByZero) {
  const uint32_t table[][3] = {{1, 3, 33},     {2, 3, 66}, {3, 3, 100}, {1, 200, 0},
                               {199, 200, 99}, {0, 0, 0},  {5, 0, 0},
                               {4000000000u, 4000000000u, 100}};  // no overflow on the way
  for (const auto& row : table)
    EXPECT_EQ(scanned_percent(row[0], row[1]), row[2]) << row[0] << "/" << row[1];
}

TEST(WatchRun, PrintsOnChangeAndLeavesWhenDone) {
  const struct {
    const char* what;
    uint32_t total;
    Step first;
    std::vector<Step> later;
    std::string text;
    size_t waits;
  } cases[] = {
      {"no records: nothing, at once", 0, {{}, 1}, {}, "", 0},
      {"no worker running: leaves at the first pass", 10, {{}, 0}, {}, "", 0},
      {"the first pass prints before any wait, then only changed counts",
       10,
       {{1}, 2},
       {{{2, 1}, 2}, {{2, 1}, 2}, {{4, 3}, 1}, {{4, 4}, 0}},
       "1/10 favorites scanned (10%)...\r\n3/10 favorites scanned (30%)...\r\n"
       "7/10 favorites scanned (70%)...\r\n8/10 favorites scanned (80%)...\r\n",
       4},
      {"every record scanned ends it with workers running", 4, {{2}, 2}, {{{2, 2}, 2}},
       "2/4 favorites scanned (50%)...\r\n4/4 favorites scanned (100%)...\r\n", 1},
      {"no record total: 0%", 0, {{2}, 0}, {}, "2/0 favorites scanned (0%)...\r\n", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(watch(c.total, c.first, c.later), c.text);
    EXPECT_EQ(g_waits, std::vector<unsigned>(c.waits, 5000));
  }
}

}  // namespace
