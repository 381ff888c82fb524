#include "tests/support/project_builder.h"

#include <fstream>

#include "tests/support/temp_dir.h"

LVK_URL make_record(const std::string& url, const std::string& path, uint32_t checked,
                    uint32_t action, uint32_t result) {
  LVK_URL record{};
  copy_field(record.url, sizeof record.url, url);
  copy_field(record.path, sizeof record.path, path);
  record.checked = checked;
  record.action = action;
  record.result = result;
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

namespace {

// Writes the header's bytes as they are, then the records.
void write_bytes(const std::string& file, const char* header,
                 const std::vector<LVK_URL>& records) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(header, kHeaderSize);
  unsigned char bytes[kRecordSize];
  for (const LVK_URL& record : records) {
    encode_record(record, bytes);
    out.write(reinterpret_cast<const char*>(bytes), kRecordSize);
  }
}

}  // namespace

void write_project_bytes(const std::string& file, const ProjectHeader& header,
                         const std::vector<LVK_URL>& records) {
  unsigned char bytes[kHeaderSize];
  encode_header(header, bytes);
  write_bytes(file, reinterpret_cast<const char*>(bytes), records);
}

void write_project_file(const std::string& file, const std::vector<LVK_URL>& records,
                        const std::string& source) {
  ProjectHeader header{};
  header.format = 1;
  header.threads = 1;
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

void replace_project_records(const std::string& file, const std::vector<LVK_URL>& records) {
  std::string header = TempDir::read(file);
  header.resize(kHeaderSize);
  write_bytes(file, header.data(), records);
}
