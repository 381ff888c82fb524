#include "bookmarks/record_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<std::string> paths_of(RecordStream& stream) {
  std::vector<std::string> paths;
  LVK_URL record;
  while (stream.next(record)) paths.push_back(record.path);
  return paths;
}

TEST(RecordStream, HandsOutEveryRecordInFileOrderPassAfterPass) {
  TempDir dir;
  RecordStream stream;
  EXPECT_FALSE(stream.open(dir.file("missing.lvn").c_str()));
  // Enough records to cross block boundaries; the fields are the writers'.
  std::vector<LVK_URL> written;
  std::vector<std::string> expected;
  for (int i = 0; i < 200; ++i) {
    expected.push_back(std::to_string(i) + ".URL");
    written.push_back(make_record("http://" + std::to_string(i) + "/", expected.back(), 1, i % 4));
  }
  write_project_file(dir.file("p.lvn"), written);
  ASSERT_TRUE(stream.open(dir.file("p.lvn").c_str()));
  EXPECT_EQ(paths_of(stream), expected);
  ASSERT_TRUE(stream.rewind());
  LVK_URL record;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(stream.next(record));
  EXPECT_STREQ(record.url, "http://3/");
  EXPECT_EQ(record.checked, 1u);
  EXPECT_EQ(record.action, fix);
}

TEST(RecordStream, ShortFilesHoldNoRecordsAndAPartialRecordCounts) {
  TempDir dir;
  RecordStream stream;
  for (const std::string& bytes : {std::string(), std::string(10, 'h'), std::string(1000, '\0')}) {
    ASSERT_TRUE(stream.open(dir.write("short.lvn", bytes).c_str()));
    EXPECT_TRUE(paths_of(stream).empty()) << bytes.size();
  }
  const std::string file = dir.file("p.lvn");
  write_project_file(file, {make_record("http://first/", "First.URL", 1),
                            make_record("http://second/", "Second.URL", 1, quarantine, 1)});
  // Cut inside the second record's `checked` field; then one byte past the header.
  const std::string bytes = TempDir::read(file);
  ASSERT_TRUE(stream.open(dir.write("p.lvn", bytes.substr(0, 1000 + 2012 + 2005)).c_str()));
  LVK_URL record;
  ASSERT_TRUE(stream.next(record) && stream.next(record));
  EXPECT_STREQ(record.path, "Second.URL");
  EXPECT_EQ(record.result, 1u);
  EXPECT_EQ(record.checked, 1u);  // its first byte survived
  EXPECT_EQ(record.action, 0u);
  EXPECT_FALSE(stream.next(record));
  ASSERT_TRUE(stream.open(dir.write("p.lvn", bytes.substr(0, 1000) + "h").c_str()));
  ASSERT_TRUE(stream.next(record));
  EXPECT_STREQ(record.url, "h");
  EXPECT_FALSE(stream.next(record));
}

}  // namespace
