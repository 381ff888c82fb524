// Feeds arbitrary bytes to the bookmark file reader as a bookmark file and
// checks the project bytes it writes: whole records, as many as record_total
// and at most one per "<DT>", every text terminated inside its field with
// zeros after it, every path ending in ".URL", every state field zero.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bookmarks/bookmark_file_reader.h"
#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"
#include "platform/platform.h"

static const std::string base = "/tmp/lvn-fuzz-" + std::to_string(static_cast<long>(::getpid()));

static void check(bool condition, const char* what) {
  if (!condition) std::fprintf(stderr, "bookmark file reader: %s\n", what), std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int cleanup = std::atexit([] { std::remove((base + ".htm").c_str()), std::remove((base + ".lvn").c_str()); });
  (void)cleanup;
  if (!platform::open_file(base + ".htm", platform::FileAccess::create_truncate).write(data, size)) return 0;
  project_stream = platform::open_file(base + ".lvn", platform::FileAccess::create_truncate);
  if (!project_stream.is_open()) return 0;
  record_total = 0;
  read_bookmark_file((base + ".htm").c_str());
  project_stream.close();

  platform::File project = platform::open_file(base + ".lvn", platform::FileAccess::read);
  check(project.size() == static_cast<int64_t>(record_total * kRecordSize), "record_total differs from the records");
  check(record_total <= size / 4, "more records than entries");
  unsigned char record[kRecordSize];
  for (uint32_t i = 0; i < record_total; ++i) {
    check(project.read(record, kRecordSize) == kRecordSize, "a short read");
    const char* url = reinterpret_cast<const char*>(record);
    const size_t url_length = strnlen(url, kUrlSize), path_length = strnlen(url + 1000, kPathSize);
    check(url_length < kUrlSize && path_length < kPathSize, "a field without its terminator");
    for (size_t b = 0; b < kRecordSize; ++b)
      check(record[b] == 0 || b < url_length || (b >= 1000 && b < 1000 + path_length), "a stray byte");
    check(path_length >= 4 && std::memcmp(url + 1000 + path_length - 4, ".URL", 4) == 0, "a path not ending in .URL");
  }
  return 0;
}
