#include "bookmarks/project_loader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(ProjectLoader, MissingProjectIsReportedAndLoadsNothing) {
  TempDir dir;
  std::vector<LVK_URL> records = {make_record("x", "y")};
  EXPECT_FALSE(load_project_records(dir.file("missing.lvn").c_str(), records));
  EXPECT_TRUE(records.empty());
}

TEST(ProjectLoader, RecordsComeInFileOrderWithEveryField) {
  TempDir dir;
  const std::string file = dir.file("p.lvn");
  write_project_file(file, {make_record("http://a/", "A.URL", 1, quarantine, http_error),
                            make_record("http://b/", "F\\B.URL", 0, keep, result_none),
                            make_record("http://c/", "C.URL", 1, fix, http_error)});
  std::vector<LVK_URL> records;
  ASSERT_TRUE(load_project_records(file.c_str(), records));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_STREQ(records[0].url, "http://a/");
  EXPECT_STREQ(records[1].path, "F\\B.URL");
  EXPECT_EQ(records[0].checked, 1u);
  EXPECT_EQ(records[0].action, quarantine);
  EXPECT_EQ(records[0].result, http_error);
  EXPECT_EQ(records[1].checked, 0u);
  EXPECT_EQ(records[2].action, fix);
}

TEST(ProjectLoader, HeaderOnlyAndShortFilesHoldNoRecords) {
  TempDir dir;
  std::vector<LVK_URL> records;
  ASSERT_TRUE(load_project_records(dir.write("header.lvn", std::string(1000, '\0')).c_str(), records));
  EXPECT_TRUE(records.empty());
  ASSERT_TRUE(load_project_records(dir.write("short.lvn", std::string(10, 'h')).c_str(), records));
  EXPECT_TRUE(records.empty());
  ASSERT_TRUE(load_project_records(dir.write("empty.lvn", "").c_str(), records));
  EXPECT_TRUE(records.empty());
}

TEST(ProjectLoader, TrailingPartialRecordCountsWithItsMissingBytesZero) {
  TempDir dir;
  const std::string file = dir.file("p.lvn");
  LVK_URL second = make_record("http://second/", "Second.URL", 1, quarantine, 1);
  write_project_file(file, {make_record("http://first/", "First.URL", 1), second});
  // Cut the file inside the second record's `checked` field.
  std::string bytes = TempDir::read(file);
  bytes.resize(1000 + 2012 + 2005);
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;

  std::vector<LVK_URL> records;
  ASSERT_TRUE(load_project_records(file.c_str(), records));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_STREQ(records[1].url, "http://second/");
  EXPECT_STREQ(records[1].path, "Second.URL");
  EXPECT_EQ(records[1].result, 1u);
  EXPECT_EQ(records[1].checked, 1u);  // its first byte survived
  EXPECT_EQ(records[1].action, 0u);

  // One byte beyond the header is a record of its own.
  bytes.resize(1001);
  bytes[1000] = 'h';
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  ASSERT_TRUE(load_project_records(file.c_str(), records));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_STREQ(records[0].url, "h");
}

TEST(ProjectLoader, ManyRecordsCrossBlockBoundaries) {
  TempDir dir;
  const std::string file = dir.file("p.lvn");
  std::vector<LVK_URL> written;
  for (int i = 0; i < 200; ++i)
    written.push_back(make_record("http://" + std::to_string(i) + "/", std::to_string(i) + ".URL"));
  write_project_file(file, written);
  std::vector<LVK_URL> records;
  ASSERT_TRUE(load_project_records(file.c_str(), records));
  ASSERT_EQ(records.size(), 200u);
  for (int i = 0; i < 200; ++i)
    EXPECT_EQ(std::string(records[i].path), std::to_string(i) + ".URL");
}

}  // namespace
