#include "checker/statistics.h"

#include <cstdio>
#include <cstring>

#include "core/app_commands.h"
#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"

namespace {

const char kConsoleFormat[] =
    "Total Favs:\t%u.\r\nFavs Checked: \t%u.\r\nQuarantined: \t%u.\r\nFavs Fixed: \t%u.\r\n"
    "Threads: \t%u.\r\n";

// Each count links to its item list; the numbers are filled in from the
// command table.
const char kHtmlFormat[] =
    "<table width=\"100%%\" border=\"1\"><br>\r\n"
    "<tr><td width=\"66%%\">Total Favorites in Project <a href=app:%u>View</a></td>"
    "<td width=\"34%%\">%u</td></tr><br>\r\n"
    "<tr><td>Total Checked <a href=app:%u>View</a></td><td>%u</td></tr><br>\r\n"
    "<tr><td>Total Quarantined <a href=\"app:%u\">View</a></td><td>%u</td></tr><br>\r\n"
    "<tr><td>Total Quarantined and fixed <a href=\"app:%u\">View</a></td><td>%u</td></tr><br>\r\n"
    "<tr><td>Threads</td><td>%u</td></tr></table><br>\r\n";

struct Counts {
  unsigned total = 0;
  unsigned checked = 0;
  unsigned quarantined = 0;
  unsigned fixed = 0;
  unsigned threads = 0;
};

}  // namespace

void write_summary(char* buffer, size_t size) {
  if (buffer && size > 0) buffer[0] = '\0';
  platform::File file = platform::open_file(project_path, platform::FileAccess::read);
  if (!file.is_open()) return;

  Counts counts;
  ProjectHeader header;
  if (read_project_header(file, header)) counts.threads = header.threads;

  // Whole records only, as the run sees them.
  unsigned char bytes[kRecordSize];
  LVK_URL record;
  while (file.read(bytes, kRecordSize) == kRecordSize) {
    decode_record(bytes, record);
    ++counts.total;
    if (record.checked == 1) ++counts.checked;
    if (record.action == quarantine) ++counts.quarantined;
    if (record.action == fix) ++counts.fixed;
  }
  file.close();

  record_total = counts.total;
  if (!buffer || size == 0) return;
  if (console_mode) {
    std::snprintf(buffer, size, kConsoleFormat, counts.total, counts.checked, counts.quarantined,
                  counts.fixed, counts.threads);
  } else {
    std::snprintf(buffer, size, kHtmlFormat, unsigned{app_view_all}, counts.total,
                  unsigned{app_view_checked}, counts.checked, unsigned{app_view_quarantined},
                  counts.quarantined, unsigned{app_view_fixed}, counts.fixed, counts.threads);
  }
}
