#include "bookmarks/record_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<std::string> urls_of(RecordStream& stream) {
  std::vector<std::string> urls;
  LVK_URL record;
  while (stream.next(record)) urls.push_back(record.url);
  return urls;
}

// Enough records to cross block boundaries, read in file order pass after pass.
TEST(RecordStream, HandsOutEveryRecordInFileOrderPassAfterPass) {
  TempDir dir;
  RecordStream stream;
  EXPECT_FALSE(stream.open(dir.file("missing.lvn").c_str()));
  std::vector<LVK_URL> written;
  std::vector<std::string> expected;
  for (int i = 0; i < 200; ++i) {
    expected.push_back("http://" + std::to_string(i) + "/");
    written.push_back(make_record(expected.back(), std::to_string(i) + ".URL", 1, i % 4));
  }
  write_project_file(dir.file("p.lvn"), written);
  ASSERT_TRUE(stream.open(dir.file("p.lvn").c_str()));
  EXPECT_EQ(urls_of(stream), expected);
  ASSERT_TRUE(stream.rewind());
  LVK_URL record;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(stream.next(record));
  EXPECT_STREQ(record.path, "3.URL");
  EXPECT_EQ(record.checked, 1u);
  EXPECT_EQ(record.action, fix);
}

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
  for (const auto& c : cases) {
    std::string cut = bytes.substr(0, c.length);
    if (c.length == 1001) cut.back() = 'h';
    ASSERT_TRUE(stream.open(dir.write("cut.lvn", cut).c_str()));
    EXPECT_EQ(urls_of(stream), c.urls) << c.length;
  }
  LVK_URL record;
  ASSERT_TRUE(stream.rewind() && stream.next(record) && stream.next(record));
  EXPECT_EQ(record.result, 1u);
  EXPECT_EQ(record.checked, 1u);  // its first byte survived
  EXPECT_EQ(record.action, 0u);
}

}  // namespace
