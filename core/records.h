// The project file's fixed-size records, defined once.
//
// A project file is a 1000-byte header followed by 2012-byte bookmark
// records. Integers are 32-bit little-endian on disk; strings are single-byte
// text, NUL-terminated, zero-filled to the end of their field. The structs
// below are the in-memory images; encode/decode turn them into the exact
// on-disk bytes on any host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

constexpr size_t kHeaderSize = 1000;
constexpr size_t kRecordSize = 2012;
constexpr size_t kUrlSize = 1000;
constexpr size_t kPathSize = 1000;
constexpr size_t kSourceSize = 976;
constexpr size_t kFolderNameSize = 520;

// Record `result` values.
enum : uint32_t { result_none = 0, http_error = 1, no_connection = 2 };
// Record `action` values.
enum : uint32_t { keep = 0, action_delete = 1, quarantine = 2, fix = 3 };

struct ProjectHeader {
  uint32_t format;
  uint32_t on_http_error;
  uint32_t on_no_connection;
  uint32_t threads;
  uint32_t dead_links_folder;
  uint32_t dead_links_text;
  char source[kSourceSize];
};
static_assert(sizeof(ProjectHeader) == kHeaderSize, "header is 1000 bytes");
static_assert(offsetof(ProjectHeader, on_http_error) == 4, "layout");
static_assert(offsetof(ProjectHeader, on_no_connection) == 8, "layout");
static_assert(offsetof(ProjectHeader, threads) == 12, "layout");
static_assert(offsetof(ProjectHeader, dead_links_folder) == 16, "layout");
static_assert(offsetof(ProjectHeader, dead_links_text) == 20, "layout");
static_assert(offsetof(ProjectHeader, source) == 24, "layout");

struct LVK_URL {
  char url[kUrlSize];
  char path[kPathSize];
  uint32_t result;
  uint32_t checked;
  uint32_t action;
};
static_assert(sizeof(LVK_URL) == kRecordSize, "record is 2012 bytes");
static_assert(offsetof(LVK_URL, path) == 1000, "layout");
static_assert(offsetof(LVK_URL, result) == 2000, "layout");
static_assert(offsetof(LVK_URL, checked) == 2004, "layout");
static_assert(offsetof(LVK_URL, action) == 2008, "layout");

// One folder name of a split record path.
struct AA {
  char name[kFolderNameSize];
};
static_assert(sizeof(AA) == kFolderNameSize, "folder element is 520 bytes");

// Little-endian fixed-width coding, independent of the host's byte order.
inline void encode_u32(unsigned char* out, uint32_t value) {
  out[0] = static_cast<unsigned char>(value);
  out[1] = static_cast<unsigned char>(value >> 8);
  out[2] = static_cast<unsigned char>(value >> 16);
  out[3] = static_cast<unsigned char>(value >> 24);
}
inline uint32_t decode_u32(const unsigned char* in) {
  return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
         (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

void encode_header(const ProjectHeader& header, unsigned char out[kHeaderSize]);
void decode_header(const unsigned char in[kHeaderSize], ProjectHeader& header);
void encode_record(const LVK_URL& record, unsigned char out[kRecordSize]);
void decode_record(const unsigned char in[kRecordSize], LVK_URL& record);

// Byte offset of record i in a project file.
inline int64_t record_offset(uint32_t index) {
  return static_cast<int64_t>(kHeaderSize) + static_cast<int64_t>(index) * kRecordSize;
}

// Copies text into a fixed field, cut to size - 1 characters and
// NUL-terminated; the rest of the field is left as it is.
inline void copy_field(char* field, size_t size, const char* text) {
  size_t n = std::strlen(text);
  if (n > size - 1) n = size - 1;
  std::memcpy(field, text, n);
  field[n] = '\0';
}
inline void copy_field(char* field, size_t size, const std::string& text) {
  size_t n = text.size();
  if (n > size - 1) n = size - 1;
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

// Length of a field's text, never reading past the field.
inline size_t field_length(const char* field, size_t size) {
  const void* nul = std::memchr(field, '\0', size);
  return nul ? static_cast<size_t>(static_cast<const char*>(nul) - field) : size;
}
