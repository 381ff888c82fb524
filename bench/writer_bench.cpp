// Saving a large project with both writers: time and peak memory of each,
// whether the bookmark-file writer stays linear in the number of records,
// and whether each writer's peak stays under 40 MB however large the project
// (they read it a block of records at a time).
//
// Usage: writer_bench [records [tree_records]]   (defaults 100000 and 100000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/step_measure.h"
#include "bookmarks/bookmark_file_writer.h"
#include "bookmarks/favorites_writer.h"
#include "core/globals.h"
#include "core/records.h"
#include "tests/support/temp_dir.h"

namespace {

// A project of `count` records in folders 0 to 6 deep, one in eight dead
// (quarantined, fixed or deleted), written straight as the file's bytes.
void make_project(const std::string& file, size_t count) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  unsigned char bytes[kRecordSize];
  ProjectHeader header;
  std::memset(&header, 0, sizeof header);
  header.format = 1;
  header.threads = 4;
  encode_header(header, bytes);
  out.write(reinterpret_cast<const char*>(bytes), kHeaderSize);
  static const char* const kFolders[] = {"News", "Sport", "Tech", "Music", "Travel", "Work",
                                         "Home", "Shops"};
  uint32_t state = 12345;
  for (size_t i = 0; i < count; ++i) {
    state = state * 1103515245u + 12345u;
    LVK_URL record;
    std::memset(&record, 0, sizeof record);
    std::string path;
    const unsigned depth = (state >> 8) % 7;
    // Neighbours share folders the way real collections do: the folder
    // changes every few records.
    const size_t group = i / 5;
    for (unsigned level = 0; level < depth; ++level)
      path += std::string(kFolders[(group + level * 3) % 8]) + std::to_string(level) + "\\";
    path += "Bookmark number " + std::to_string(i) + ".URL";
    copy_field(record.path, sizeof record.path, path);
    copy_field(record.url, sizeof record.url,
               "http://site" + std::to_string(i % 997) + ".example.com/page/" + std::to_string(i));
    record.checked = 1;
    switch ((state >> 16) % 8) {
      case 0: record.action = quarantine; record.result = http_error; break;
      case 1: record.action = fix; record.result = http_error; break;
      case 2: record.action = action_delete; record.result = no_connection; break;
      default: record.action = keep; break;
    }
    encode_record(record, bytes);
    out.write(reinterpret_cast<const char*>(bytes), kRecordSize);
  }
}

Measure bookmark_file(const TempDir& dir, size_t count) {
  const std::string project = dir.file("bench-" + std::to_string(count) + ".lvn");
  make_project(project, count);
  copy_field(project_path, sizeof project_path, project);
  copy_field(output_location, sizeof output_location, dir.file("out.html"));
  return measure([] { write_bookmark_file(); });
}

}  // namespace

int main(int argc, char** argv) {
  const size_t records = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  const size_t tree_records = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100000;
  TempDir dir;

  // Linearity: the time per record at a tenth of the size and at full size.
  const size_t small = records / 10;
  const Measure warm = bookmark_file(dir, small);  // warms caches and the allocator
  (void)warm;
  const Measure at_small = bookmark_file(dir, small);
  const Measure at_full = bookmark_file(dir, records);
  std::ifstream written(dir.file("out.html"), std::ios::binary | std::ios::ate);
  const double per_small = at_small.seconds / static_cast<double>(small) * 1e6;
  const double per_full = at_full.seconds / static_cast<double>(records) * 1e6;
  std::printf("bookmark file writer, %zu records: %.3f s, peak memory +%ld KiB, file %lld bytes\n",
              records, at_full.seconds, at_full.peak_kib,
              static_cast<long long>(written.tellg()));
  std::printf("bookmark file writer, %zu records: %.3f s, peak memory +%ld KiB\n", small,
              at_small.seconds, at_small.peak_kib);
  std::printf("time per record: %.3f us at %zu, %.3f us at %zu, ratio %.2f (%s)\n", per_small,
              small, per_full, records, per_full / per_small,
              per_full / per_small < 2.0 ? "linear" : "NOT linear");

  // The tree writer: one folder chain and one or two shortcut files per record.
  const std::string project = dir.file("tree.lvn");
  make_project(project, tree_records);
  copy_field(project_path, sizeof project_path, project);
  copy_field(output_location, sizeof output_location, dir.file("tree"));
  const Measure tree = measure([] { write_favorites_tree(); });
  std::printf("favorites tree writer, %zu records: %.3f s (%.1f us per record), peak memory +%ld KiB\n",
              tree_records, tree.seconds, tree.seconds / static_cast<double>(tree_records) * 1e6,
              tree.peak_kib);

  constexpr long kPeakLimitKib = 40 * 1024;
  const bool small_peaks = at_full.total_kib < kPeakLimitKib && tree.total_kib < kPeakLimitKib;
  std::printf("process peak while saving: bookmark file %.1f MB, favorites tree %.1f MB "
              "(limit 40 MB: %s)\n",
              at_full.total_kib / 1024.0, tree.total_kib / 1024.0, small_peaks ? "ok" : "OVER");
  return per_full / per_small < 2.0 && small_peaks ? 0 : 1;
}
