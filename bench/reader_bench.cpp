// Times the bookmark file reader on generated files of 10,000 and 100,000
// links, flat and in folders nested six deep, and prints the time per link
// and the ratio of the two sizes for each shape. A reader that is linear in
// the size of the file keeps each ratio near 1; the run fails when one
// reaches 2.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bookmarks/bookmark_file_reader.h"
#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

std::string link(size_t i) {
  const std::string n = std::to_string(i);
  return "<DT><A HREF=\"http://host" + n + ".example/path/" + n +
         "?q=1\" ADD_DATE=\"1500000000\" LAST_MODIFIED=\"1500000000\">Bookmark number " + n +
         "</A>\n";
}

std::string flat_file(size_t links) {
  std::string text =
      "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n"
      "<DL><p>\n";
  for (size_t i = 0; i < links; ++i) text += link(i);
  return text + "</DL><p>\n";
}

// Folders six deep; each innermost folder holds ten links, and every level
// opens and closes again as the links go on.
std::string nested_file(size_t links) {
  constexpr int kDepth = 6;
  constexpr size_t kPerFolder = 10;
  std::string text =
      "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n"
      "<DL><p>\n";
  size_t folder = 0;
  for (size_t i = 0; i < links; i += kPerFolder, ++folder) {
    for (int d = 0; d < kDepth; ++d)
      text += "<DT><H3 ADD_DATE=\"1\">Folder " + std::to_string(folder) + "." +
              std::to_string(d) + "</H3>\n<DL><p>\n";
    for (size_t j = i; j < std::min(links, i + kPerFolder); ++j) text += link(j);
    for (int d = 0; d < kDepth; ++d) text += "</DL><p>\n";
  }
  return text + "</DL><p>\n";
}

// Reads the file into a new project file; returns the best of a few runs
// in seconds, and the records of the last run.
double time_read(const std::string& file, const std::string& project, uint32_t& records) {
  double best = 1e30;
  for (int run = 0; run < 5; ++run) {
    project_stream = platform::open_file(project, platform::FileAccess::create_truncate);
    record_total = 0;
    const auto start = std::chrono::steady_clock::now();
    read_bookmark_file(file.c_str());
    project_stream.close();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best = std::min(best, seconds);
    records = record_total;
  }
  return best;
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / "lvn-reader-bench";
  std::error_code ec;
  fs::create_directories(dir, ec);
  const std::string file = (dir / "bookmarks.htm").string();
  const std::string project = (dir / "bench.lvn").string();

  struct Shape {
    const char* name;
    std::string (*make)(size_t);
  };
  const Shape shapes[] = {{"flat", flat_file}, {"nested 6 deep", nested_file}};
  bool ok = true;
  std::printf("%-14s %8s %10s %12s %14s\n", "shape", "links", "file KB", "time ms", "us per link");
  for (const Shape& shape : shapes) {
    double per_link[2] = {0, 0};
    const size_t sizes[2] = {10000, 100000};
    for (int s = 0; s < 2; ++s) {
      const std::string text = shape.make(sizes[s]);
      {
        platform::File out = platform::open_file(file, platform::FileAccess::create_truncate);
        out.write(text.data(), text.size());
      }
      uint32_t records = 0;
      const double seconds = time_read(file, project, records);
      if (records != sizes[s]) {
        std::printf("%s: %u records for %zu links\n", shape.name, records, sizes[s]);
        ok = false;
      }
      per_link[s] = seconds / static_cast<double>(sizes[s]);
      std::printf("%-14s %8zu %10zu %12.2f %14.3f\n", shape.name, sizes[s], text.size() / 1024,
                  seconds * 1e3, per_link[s] * 1e6);
    }
    const double ratio = per_link[1] / per_link[0];
    std::printf("RATIO %-14s time per link 100k / 10k = %.2f  (%s, must be < 2)\n", shape.name,
                ratio, ratio < 2.0 ? "ok" : "TOO HIGH");
    if (ratio >= 2.0) ok = false;
  }
  fs::remove_all(dir, ec);
  return ok ? 0 : 1;
}
