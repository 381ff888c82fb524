// The console's count of scanned bookmarks and its percentage. How often the
// watch prints, and when it stops, the end-to-end console tests check.
#include <gtest/gtest.h>

#include <vector>

#include "console/run_progress.h"
#include "core/globals.h"

namespace {

TEST(RunProgress, EverySlotCountsAndThePercentIsCutTowardZero) {
  worker_position[9].store(8);  // the last worker's slot
  EXPECT_EQ(scanned_count(), 8u);
  worker_position[9].store(0);
  EXPECT_EQ(std::vector<unsigned>({scanned_percent(8, 9), scanned_percent(2, 0),
                                   scanned_percent(4000000000u, 4000000000u)}),
            std::vector<unsigned>({88, 0, 100}));  // no division by zero, no overflow
}

}  // namespace
