// Feeds arbitrary bytes to the bookmark file reader as a bookmark file and
// checks the project file that it writes: whole records only, one per
// record_total, every text field terminated inside its field and zero after
// its terminator, every path ending in ".URL", every state field zero.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "bookmarks/bookmark_file_reader.h"
#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"
#include "platform/platform.h"

namespace {

struct ScratchFiles {
  std::string input;
  std::string project;
  ScratchFiles() {
    const char* dir = std::getenv("TMPDIR");
    const std::string base = std::string(dir && *dir ? dir : "/tmp") + "/lvn-fuzz-" +
                             std::to_string(static_cast<long>(::getpid()));
    input = base + ".htm";
    project = base + ".lvn";
  }
  ~ScratchFiles() {
    std::remove(input.c_str());
    std::remove(project.c_str());
  }
};

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "bookmark file reader: %s\n", what);
    std::abort();
  }
}

void check_field(const unsigned char* field, size_t size) {
  const void* nul = std::memchr(field, 0, size);
  check(nul != nullptr, "a field without its terminator");
  for (const unsigned char* p = static_cast<const unsigned char*>(nul); p < field + size; ++p)
    check(*p == 0, "a byte after a terminator that is not zero");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ScratchFiles files;

  {
    platform::File input = platform::open_file(files.input, platform::FileAccess::create_truncate);
    if (!input.is_open() || !input.write(data, size)) return 0;
  }

  project_stream = platform::open_file(files.project, platform::FileAccess::create_truncate);
  if (!project_stream.is_open()) return 0;
  record_total = 0;
  read_bookmark_file(files.input.c_str());
  project_stream.close();

  platform::File project = platform::open_file(files.project, platform::FileAccess::read);
  check(project.is_open(), "the project file cannot be read back");
  const int64_t length = project.size();
  check(length >= 0 && length % static_cast<int64_t>(kRecordSize) == 0, "a partial record");
  check(static_cast<uint64_t>(length) / kRecordSize == record_total,
        "record_total differs from the records written");
  // Nothing in the file, so at most one record per "<DT>" in the input.
  check(record_total <= size / 4, "more records than entries");

  std::vector<unsigned char> record(kRecordSize);
  for (uint32_t i = 0; i < record_total; ++i) {
    check(project.read(record.data(), kRecordSize) == kRecordSize, "a short read");
    check_field(record.data(), kUrlSize);
    check_field(record.data() + 1000, kPathSize);
    const char* path = reinterpret_cast<const char*>(record.data() + 1000);
    const size_t path_length = std::strlen(path);
    check(path_length >= 4 && std::memcmp(path + path_length - 4, ".URL", 4) == 0,
          "a path that does not end in .URL");
    for (size_t b = 2000; b < kRecordSize; ++b) check(record[b] == 0, "a state field not zero");
  }
  return 0;
}
