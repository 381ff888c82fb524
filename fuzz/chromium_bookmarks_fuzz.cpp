// Feeds arbitrary bytes to the Chromium bookmarks reader as a "Bookmarks"
// file, and when it makes a project, writes that project back over the file
// with every bookmark quarantined: the file written must parse, hold the
// browser's checksum, and keep every bookmark (in its Dead Links folder).
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bookmarks/chromium_bookmarks.h"
#include "bookmarks/chromium_writer.h"
#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"
#include "platform/platform.h"

static const std::string base = "/tmp/lvn-fuzz-chromium-" + std::to_string(static_cast<long>(::getpid()));

static void check(bool condition, const char* what) {
  if (!condition) std::fprintf(stderr, "chromium bookmarks: %s\n", what), std::abort();
}

static size_t bookmarks_in(const ChromiumJson& tree) {
  size_t count = 0;
  walk_chromium_bookmarks(tree, [&count](const ChromiumJson&, const std::string&) { ++count; });
  return count;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  [[maybe_unused]] static const int cleanup = std::atexit([] {
    for (const char* end : {"", ".lvn", ".lvn-backup"}) std::remove((base + end).c_str());
  });
  platform::set_message_hook([](const std::string&, const std::string&, platform::MessageIcon) {});
  const std::string file = base, project = base + ".lvn";
  if (!platform::open_file(file, platform::FileAccess::create_truncate).write(data, size)) return 0;
  project_stream = platform::open_file(project, platform::FileAccess::create_truncate);
  unsigned char header[kHeaderSize] = {};
  if (!project_stream.write(header, kHeaderSize)) return 0;
  record_total = 0;
  const bool read = read_chromium_bookmarks(file.c_str());
  project_stream.close();
  if (!read) return 0;

  ChromiumJson tree;
  std::string problem;
  check(load_chromium_bookmarks(file, tree, problem), "a file read once is refused the second time");
  const size_t count = bookmarks_in(tree);
  check(count == record_total, "not one record per bookmark");
  // Every record quarantined, as a run that found every link dead leaves it.
  platform::File records = platform::open_file(project, platform::FileAccess::read_write_shared);
  for (uint32_t i = 0; i < record_total; ++i) {
    unsigned char bytes[kRecordSize];
    check(records.seek(record_offset(i)) && records.read(bytes, kRecordSize) == kRecordSize, "a short record");
    encode_u32(bytes + offsetof(LVK_URL, checked), 1);
    encode_u32(bytes + offsetof(LVK_URL, action), quarantine);
    check(records.seek(record_offset(i)) && records.write(bytes, kRecordSize), "a failed rewrite");
  }
  records.close();
  copy_field(project_path, sizeof project_path, project);
  copy_field(output_location, sizeof output_location, file);
  if (!write_chromium_bookmarks()) return 0;  // no "other" root to hold Dead Links

  ChromiumJson written;
  check(load_chromium_bookmarks(file, written, problem), "the file written cannot be read");
  check(written["checksum"] == chromium_checksum(written), "a wrong checksum");
  check(bookmarks_in(written) == count, "bookmarks lost or added");
  return 0;
}
