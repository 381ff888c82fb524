// The project statistics, as console text and as the wizard's HTML table.
#include "checker/statistics.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/globals.h"
#include "platform/platform.h"
#include "tests/support/checker_run.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

std::string console_text(unsigned total, unsigned checked, unsigned quarantined, unsigned fixed,
                         unsigned threads_shown) {
  return "Total Favs:\t" + std::to_string(total) + ".\r\nFavs Checked: \t" +
         std::to_string(checked) + ".\r\nQuarantined: \t" + std::to_string(quarantined) +
         ".\r\nFavs Fixed: \t" + std::to_string(fixed) + ".\r\nThreads: \t" +
         std::to_string(threads_shown) + ".\r\n";
}

// The table of mixed_records() with 3 threads.
const std::string kMixedTable =
    "<table width=\"100%\" border=\"1\"><br>\r\n"
    "<tr><td width=\"66%\">Total Favorites in Project <a href=app:15>View</a></td>"
    "<td width=\"34%\">10</td></tr><br>\r\n"
    "<tr><td>Total Checked <a href=app:16>View</a></td><td>4</td></tr><br>\r\n"
    "<tr><td>Total Quarantined <a href=\"app:18\">View</a></td><td>1</td></tr><br>\r\n"
    "<tr><td>Total Quarantined and fixed <a href=\"app:19\">View</a></td><td>1</td></tr><br>\r\n"
    "<tr><td>Threads</td><td>3</td></tr></table><br>\r\n";

// The summary printed into a buffer of `size` bytes, which it never overruns.
std::string summary(size_t size = 10000) {
  std::vector<char> buffer(size + 16, '#');
  write_summary(buffer.data(), size);
  for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '#') << "overrun at " << i;
  return std::string(buffer.data(), field_length(buffer.data(), size));
}

// 10 records: 2 valid, 1 quarantined, 1 fixed, 6 pending.
std::vector<LVK_URL> mixed_records() {
  std::vector<LVK_URL> records = {make_record("http://a/", "a.url", 1, keep, result_none),
                                  make_record("http://b/", "b.ini", 1, keep, result_none),
                                  make_record("http://c/", "c.url", 1, quarantine, http_error),
                                  make_record("http://d", "d.url", 1, fix, http_error)};
  records.resize(10, make_record("http://p/", "p.url"));
  return records;
}

// Each project is counted while another handle holds it open for writing,
// as during a run; a project that cannot be opened gives no text and leaves
// the total alone.
TEST(Statistics, CountsEachState) {
  TempDir dir;
  const std::string project = dir.file("stats.lvn");
  select_project(project);
  const struct {
    const char* what;
    uint32_t threads;
    std::vector<LVK_URL> records;
    size_t trailing;  // bytes of a partial record after the last one
    std::string text;
  } cases[] = {
      {"mixed states", 3, mixed_records(), 0, console_text(10, 4, 1, 1, 3)},
      {"empty project", 5, {}, 0, console_text(0, 0, 0, 0, 5)},
      {"deleted records count as checked only", 1,
       {make_record("http://x/", "x.url", 1, action_delete, no_connection),
        make_record("http://y/", "y.url", 1, action_delete, http_error),
        make_record("http://z/", "z.url", 1, quarantine, no_connection)},
       0, console_text(3, 3, 1, 0, 1)},
      {"a partial trailing record is not counted", 2, mixed_records(), kRecordSize - 1,
       console_text(10, 4, 1, 1, 2)},
  };
  console_mode = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    write_project(project, {0, 0, c.threads, 0}, c.records);
    std::ofstream(project, std::ios::binary | std::ios::app) << std::string(c.trailing, '\x01');
    platform::File writer = platform::open_file(project, platform::FileAccess::read_write_shared);
    ASSERT_TRUE(writer.is_open());
    record_total = 77;
    EXPECT_EQ(summary(), c.text);
    EXPECT_EQ(record_total, c.records.size());
  }
  select_project(dir.file("missing.lvn"));
  for (bool console : {false, true}) {
    console_mode = console;
    record_total = 42;
    EXPECT_EQ(summary(), "");
    EXPECT_EQ(record_total, 42u);
  }
}

TEST(Statistics, HtmlTableIsCutNeverOverrun) {
  TempDir dir;
  select_project(dir.file("stats.lvn"));
  write_project(dir.file("stats.lvn"), {0, 0, 3, 0}, mixed_records());
  for (size_t size : {size_t{1}, size_t{2}, size_t{40}, kMixedTable.size(),
                      kMixedTable.size() + 1, size_t{10000}}) {
    SCOPED_TRACE(size);
    record_total = 77;
    EXPECT_EQ(summary(size), kMixedTable.substr(0, size - 1));
    EXPECT_EQ(record_total, 10u);
  }
  record_total = 5;
  write_summary(nullptr, 0);  // nothing to print into, the count still made
  EXPECT_EQ(record_total, 10u);
}

}  // namespace
