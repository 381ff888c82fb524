// The project statistics as the wizard's HTML table.
#include "checker/statistics.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/checker_run.h"

namespace {

// The summary printed into a buffer of `size` bytes, which it never overruns.
std::string summary(size_t size = 10000) {
  std::vector<char> buffer(size + 16, '#');
  write_summary(buffer.data(), size);
  EXPECT_EQ(std::string(buffer.begin() + size, buffer.end()), std::string(16, '#'));
  return std::string(buffer.data(), field_length(buffer.data(), size));
}

// Whole records are counted while another handle holds the project open for
// writing, as during a run; deleted records count as checked only. A project
// that cannot be opened gives no text and leaves the total alone.
TEST(Statistics, CountsEachStateIntoTheTable) {
  TempDir dir;
  const std::string project = dir.file("stats.lvn");
  std::vector<LVK_URL> records = {make_record("http://a/", "a.url", 1), make_record("b", "b.ini", 1),
                                  make_record("c", "c.url", 1, quarantine, http_error),
                                  make_record("q", "q.url", 1, quarantine, no_connection),
                                  make_record("d", "d.url", 1, fix, http_error),
                                  make_record("x", "x.url", 1, action_delete, no_connection)};
  records.resize(10, make_record("http://p/", "p.url"));
  const char table[] =
      "<table width=\"100%\" border=\"1\"><br>\r\n"
      "<tr><td width=\"66%\">Total Favorites in Project <a href=app:15>View</a></td>"
      "<td width=\"34%\">10</td></tr><br>\r\n"
      "<tr><td>Total Checked <a href=app:16>View</a></td><td>6</td></tr><br>\r\n"
      "<tr><td>Total Quarantined <a href=\"app:18\">View</a></td><td>2</td></tr><br>\r\n"
      "<tr><td>Total Quarantined and fixed <a href=\"app:19\">View</a></td><td>1</td></tr><br>\r\n"
      "<tr><td>Threads</td><td>3</td></tr></table><br>\r\n";
  write_project(project, {0, 0, 3}, records);
  std::ofstream(project, std::ios::binary | std::ios::app) << std::string(kRecordSize - 1, '\x01');
  select_project(project);
  platform::File writer = platform::open_file(project, platform::FileAccess::read_write_shared);
  ASSERT_TRUE(writer.is_open());
  console_mode = false;  // the console's text is checked end to end
  for (size_t size : {size_t{1}, size_t{40}, size_t{10000}}) {
    record_total = 77;
    EXPECT_EQ(summary(size), std::string(table).substr(0, size - 1));
    EXPECT_EQ(record_total, 10u);
  }
  select_project(dir.file("missing.lvn"));
  EXPECT_EQ(summary(), "");
  EXPECT_EQ(record_total, 10u);
}

}  // namespace
