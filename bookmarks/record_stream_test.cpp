// Reading in order across blocks and a second pass are exercised by every
// writer test; here the ends of a project file.
#include "bookmarks/record_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

// A file no longer than its header holds no records; a trailing partial
// record counts, its missing bytes zero.
TEST(RecordStream, ShortFilesHoldNoRecordsAndAPartialRecordCounts) {
  TempDir dir;
  write_project_file(dir.file("p.lvn"), {make_record("http://first/", "First.URL", 1),
                                         make_record("http://second/", "Second.URL", 1, quarantine, 1)});
  const std::string bytes = TempDir::read(dir.file("p.lvn"));
  const struct {
    size_t length;
    std::vector<std::string> urls;
  } cases[] = {{0, {}}, {10, {}}, {1000, {}}, {1001, {"h"}},
               // Cut inside the second record's `checked` field.
               {1000 + 2012 + 2005, {"http://first/", "http://second/"}}};
  RecordStream stream;
  EXPECT_FALSE(stream.open(dir.file("missing.lvn").c_str()));
  LVK_URL record;
  for (const auto& c : cases) {
    std::string cut = bytes.substr(0, c.length);
    if (c.length == 1001) cut.back() = 'h';
    ASSERT_TRUE(stream.open(dir.write("cut.lvn", cut).c_str()));
    std::vector<std::string> urls;
    while (stream.next(record)) urls.push_back(record.url);
    EXPECT_EQ(urls, c.urls) << c.length;
  }
  ASSERT_TRUE(stream.rewind() && stream.next(record) && stream.next(record));
  EXPECT_EQ(record.result, 1u);
  EXPECT_EQ(record.checked, 1u);  // its first byte survived
  EXPECT_EQ(record.action, 0u);
}

}  // namespace
