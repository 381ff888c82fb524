#include "core/records.h"

void encode_header(const ProjectHeader& header, unsigned char out[kHeaderSize]) {
  encode_u32(out + 0, header.format);
  encode_u32(out + 4, header.on_http_error);
  encode_u32(out + 8, header.on_no_connection);
  encode_u32(out + 12, header.threads);
  encode_u32(out + 16, header.dead_links_folder);
  encode_u32(out + 20, header.dead_links_text);
  std::memcpy(out + 24, header.source, kSourceSize);
}

void decode_header(const unsigned char in[kHeaderSize], ProjectHeader& header) {
  header.format = decode_u32(in + 0);
  header.on_http_error = decode_u32(in + 4);
  header.on_no_connection = decode_u32(in + 8);
  header.threads = decode_u32(in + 12);
  header.dead_links_folder = decode_u32(in + 16);
  header.dead_links_text = decode_u32(in + 20);
  std::memcpy(header.source, in + 24, kSourceSize);
}

void encode_record(const LVK_URL& record, unsigned char out[kRecordSize]) {
  std::memcpy(out, record.url, kUrlSize);
  std::memcpy(out + 1000, record.path, kPathSize);
  encode_u32(out + 2000, record.result);
  encode_u32(out + 2004, record.checked);
  encode_u32(out + 2008, record.action);
}

void decode_record(const unsigned char in[kRecordSize], LVK_URL& record) {
  std::memcpy(record.url, in, kUrlSize);
  std::memcpy(record.path, in + 1000, kPathSize);
  record.result = decode_u32(in + 2000);
  record.checked = decode_u32(in + 2004);
  record.action = decode_u32(in + 2008);
}
