#include "tests/support/project_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "core/globals.h"
#include "core/project.h"
#include "platform/platform.h"
#include "tests/support/temp_dir.h"

LVK_URL make_record(const std::string& url, const std::string& path, uint32_t checked, uint32_t action,
                    uint32_t result) {
  LVK_URL record{};
  copy_field(record.url, sizeof record.url, url);
  copy_field(record.path, sizeof record.path, path);
  record.checked = checked, record.action = action, record.result = result;
  return record;
}

const char kWrittenBookmarkFileHeader[] =
    "<!DOCTYPE NETSCAPE-Bookmark-file-1>\r\n"
    "    <!--This is an automatically generated file.\r\n"
    "    It will be read and overwritten.\r\n"
    "    Do Not Edit! -->\r\n"
    "    <Title>Bookmarks</Title>\r\n"
    "    <H1>Bookmarks</H1>\r\n"
    "<DL>\r\n";

void write_project_bytes(const std::string& file, const ProjectHeader& header,
                         const std::vector<LVK_URL>& records) {
  unsigned char bytes[kRecordSize];  // room for the header too
  encode_header(header, bytes);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes), kHeaderSize);
  for (const LVK_URL& record : records) {
    encode_record(record, bytes);
    out.write(reinterpret_cast<const char*>(bytes), kRecordSize);
  }
}

void write_project_file(const std::string& file, const std::vector<LVK_URL>& records, const std::string& source) {
  ProjectHeader header{1, 0, 0, 1, 0, 0, {}};
  copy_field(header.source, sizeof header.source, source);
  write_project_bytes(file, header, records);
}

std::vector<LVK_URL> read_project_file(const std::string& file) {
  const std::string bytes = TempDir::read(file);
  std::vector<LVK_URL> records;
  for (size_t at = kHeaderSize; at + kRecordSize <= bytes.size(); at += kRecordSize) {
    records.emplace_back();
    decode_record(reinterpret_cast<const unsigned char*>(bytes.data() + at), records.back());
  }
  return records;
}

std::vector<LVK_URL> create_project_from(const std::string& source, const std::string& project) {
  platform::delete_file(project);
  copy_field(project_path, sizeof project_path, project);
  copy_field(source_path, sizeof source_path, source);
  dead_links_text = 0;
  EXPECT_TRUE(create_project(true)) << source;
  const std::string bytes = TempDir::read(project);
  const std::vector<LVK_URL> records = read_project_file(project);
  EXPECT_EQ(bytes.size(), kHeaderSize + records.size() * kRecordSize);
  EXPECT_EQ(record_total, records.size());
  const std::vector<Link> links = links_of(records);
  for (size_t i = 0; i < records.size(); ++i) {
    unsigned char clean[kRecordSize];
    encode_record(make_record(links[i].first, links[i].second), clean);
    EXPECT_EQ(std::memcmp(clean, bytes.data() + record_offset(i), kRecordSize), 0) << i;
  }
  return records;
}

std::vector<Link> links_of(const std::vector<LVK_URL>& records) {
  std::vector<Link> links;
  for (const LVK_URL& r : records)
    links.emplace_back(std::string(r.url, field_length(r.url, kUrlSize)),
                       std::string(r.path, field_length(r.path, kPathSize)));
  return links;
}

std::string realworld(const std::string& relative) {
  std::string path = std::string(LVN_REALWORLD_DIR) + "/" + relative;
#ifdef _WIN32
  path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
#endif
  return path;
}
