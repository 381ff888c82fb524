// Reading a Chromium "Bookmarks" file of many bookmarks into a project and
// writing the project back over it: time and peak memory of each, and
// whether both stay linear in the number of bookmarks; beside them, reading
// the same bookmarks from a Netscape-format bookmark file, for scale.
//
// Usage: chromium_bench [bookmarks]   (default 100000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/step_measure.h"
#include "bookmarks/chromium_writer.h"
#include "bookmarks/save_results.h"
#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

// A file of `count` bookmarks, ten to a folder, folders two deep under the
// bookmarks bar, with the fields a browser writes.
std::string bookmarks_file(size_t count) {
  std::string text = R"({"checksum":"","roots":{"bookmark_bar":{"children":[)";
  size_t id = 10;
  for (size_t i = 0; i < count; i += 10) {
    if (i) text += ',';
    text += R"({"children":[{"children":[)";
    for (size_t k = i; k < i + 10 && k < count; ++k) {
      if (k > i) text += ',';
      text += R"({"date_added":"13300000000000000","guid":"00000000-0000-4000-8000-)" +
              std::to_string(100000000000 + k) + R"(","id":")" + std::to_string(id++) +
              R"(","meta_info":{"v":"1"},"name":"Bookmark number )" + std::to_string(k) +
              R"(","type":"url","url":"http://site)" + std::to_string(k % 997) +
              ".example.com/page/" + std::to_string(k) + "\"}";
    }
    const std::string inner = std::to_string(id++), outer = std::to_string(id++);
    text += R"(],"id":")" + inner + R"(","name":"Inner","type":"folder"}],"id":")" + outer +
            R"(","name":"Folder )" + std::to_string(i) + R"(","type":"folder"})";
  }
  text += R"(],"id":"1","name":"Bookmarks bar","type":"folder"},)"
          R"("other":{"children":[],"id":"2","name":"Other bookmarks","type":"folder"},)"
          R"("synced":{"children":[],"id":"3","name":"Mobile bookmarks","type":"folder"}},"version":1})";
  return text;
}

struct Round {
  Measure read, write, netscape_read;
  size_t bytes;
};

// Reads a file of `count` bookmarks into a new project, marks one in eight
// dead as a run would, and writes the project back over the file.
Round round_of(const TempDir& dir, size_t count) {
  const std::string file = dir.write("Default/Bookmarks", bookmarks_file(count));
  const std::string project = dir.file("bench.lvn");
  platform::delete_file(project);
  copy_field(project_path, sizeof project_path, project);
  copy_field(source_path, sizeof source_path, file);
  Round round;
  round.read = measure([] { create_project(true); });
  std::vector<LVK_URL> records = read_project_file(project);
  if (records.size() != count) std::printf("READ %zu OF %zu BOOKMARKS\n", records.size(), count);
  for (size_t i = 0; i < records.size(); ++i) {
    records[i].checked = 1;
    if (i % 8 == 0) records[i].action = quarantine;
    if (i % 8 == 1) records[i].action = action_delete;
  }
  write_project_file(project, records, file);
  std::vector<LVK_URL>().swap(records);  // the bench's own copy is not the writer's memory
  copy_field(output_location, sizeof output_location, file);
  bool written = false;
  round.write = measure([&written] { written = write_chromium_bookmarks(); });
  if (!written) std::printf("WRITE FAILED\n");
  std::ifstream out(file, std::ios::binary | std::ios::ate);
  round.bytes = static_cast<size_t>(out.tellg());

  // The same project exported as a bookmark file, and that file read anew.
  copy_field(output_location, sizeof output_location, dir.file("export.html"));
  output_mode = output_bookmark_file;
  save_results();
  platform::delete_file(project);
  copy_field(source_path, sizeof source_path, dir.file("export.html"));
  round.netscape_read = measure([] { create_project(true); });
  return round;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  TempDir dir;
  round_of(dir, count / 10);  // warms caches and the allocator
  const Round small = round_of(dir, count / 10);
  const Round full = round_of(dir, count);
  for (const auto& [n, r] : {std::make_pair(count / 10, small), std::make_pair(count, full)})
    std::printf("%zu bookmarks: read %.3f s (peak +%ld KiB, process %.1f MB), write %.3f s "
                "(peak +%ld KiB, process %.1f MB), file written %zu bytes; the same as a "
                "bookmark file: read %.3f s (%.2fx)\n",
                n, r.read.seconds, r.read.peak_kib, r.read.total_kib / 1024.0, r.write.seconds,
                r.write.peak_kib, r.write.total_kib / 1024.0, r.bytes, r.netscape_read.seconds,
                r.read.seconds / r.netscape_read.seconds);
  const double read_ratio = full.read.seconds / small.read.seconds / 10.0;
  const double write_ratio = full.write.seconds / small.write.seconds / 10.0;
  std::printf("time per bookmark at full size / at a tenth: read %.2f, write %.2f (%s)\n",
              read_ratio, write_ratio,
              read_ratio < 2.0 && write_ratio < 2.0 ? "linear" : "NOT linear");
  return read_ratio < 2.0 && write_ratio < 2.0 ? 0 : 1;
}
