// The update request that the program hands to the maker's update library,
// and the file entries that follow it in memory. Both are packed, their
// integers little-endian (the program runs on x86 only), every byte not set
// below zero. The 32-bit product has exactly the library's layout; a 64-bit
// build widens only the pointer to the entries and shortens the reserved
// tail to match, so the request keeps its 1246 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kUpdateRequestSize = 1246;
constexpr uint32_t kUpdateFileEntrySize = 6032;
constexpr uint32_t kUpdateFileCount = 2;  // the update library, then the executable

#pragma pack(push, 1)
struct UpdateFileEntry {
  uint32_t size;             // kUpdateFileEntrySize
  uint32_t constant_100;     // the library's own fixed values: 100 and 0
  uint32_t constant_0;
  char local_path[1000];     // full path of the file on this machine
  char download_url[3000];
  char checksum_url[1000];   // the maker's checksum service for this file
  char label[1000];
  uint32_t constant_0_tail;  // 0, then 1, then three zeros
  uint32_t constant_1;
  uint32_t zero[3];
};

struct UpdateRequest {
  uint32_t size;          // kUpdateRequestSize
  uint32_t constant_100;  // the library's own fixed values: 100 and 0
  uint32_t constant_0;
  char product_code[100];
  char product_id[100];   // a GUID in registry text form
  char language[10];
  uint32_t entry_count;   // kUpdateFileCount
  UpdateFileEntry* entries;
  uint32_t zero[4];
  uint8_t reserved[1000 - (sizeof(void*) - 4)];
};

// The request as the program builds it: the entries follow one another.
struct UpdateRequestBlock {
  UpdateRequest request;
  UpdateFileEntry entries[kUpdateFileCount];
};
#pragma pack(pop)

static_assert(sizeof(UpdateRequest) == kUpdateRequestSize, "the update request is 1246 bytes");
static_assert(sizeof(UpdateFileEntry) == kUpdateFileEntrySize, "a file entry is 6032 bytes");
static_assert(offsetof(UpdateFileEntry, local_path) == 12 &&
                  offsetof(UpdateFileEntry, download_url) == 1012 &&
                  offsetof(UpdateFileEntry, checksum_url) == 4012 &&
                  offsetof(UpdateFileEntry, label) == 5012 &&
                  offsetof(UpdateFileEntry, constant_0_tail) == 6012 &&
                  offsetof(UpdateFileEntry, constant_1) == 6016 &&
                  offsetof(UpdateFileEntry, zero) == 6020,
              "file entry layout");
static_assert(offsetof(UpdateRequest, product_code) == 12 &&
                  offsetof(UpdateRequest, product_id) == 112 &&
                  offsetof(UpdateRequest, language) == 212 &&
                  offsetof(UpdateRequest, entry_count) == 222 &&
                  offsetof(UpdateRequest, entries) == 226,
              "update request layout");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(UpdateRequest, zero) == 230 && offsetof(UpdateRequest, reserved) == 246,
              "the 32-bit update request has the library's layout");
#endif

// The update library's one entry point used, exported as "HU_Update".
// Plain C calling convention, on both sides.
using HuUpdateEntry = int32_t (*)(UpdateRequest* request);
