// The save step end to end: projects read from the real collections by the
// real readers, saved through the dispatcher by both writers, and read back.
#include "bookmarks/save_results.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bookmarks/bookmark_file_reader.h"
#include "bookmarks/favorites_writer.h"
#include "core/ascii.h"
#include "core/globals.h"
#include "platform/platform.h"
#include "tests/support/file_tree.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string url_in(const std::string& file, const char* section = "InternetShortcut", const char* key = "URL") {
  return platform::profile_read(file, section, key, "", 1000);
}

void save(uint32_t mode, const std::string& project, const std::string& location) {
  copy_field(project_path, sizeof project_path, project);
  copy_field(output_location, sizeof output_location, location);
  output_mode = mode;
  save_results();
}

// Every record has its file in the tree but one whose name a Windows listing
// could not map to the ANSI code page ('?' in its place, no such file). Kept
// files are never rewritten: of one name the first wins.
void expect_tree_holds_every_record(const std::vector<LVK_URL>& records, const std::string& root) {
  for (size_t i = 0; i < records.size(); ++i) {
    if (platform::windows_name_rules() && std::strchr(records[i].path, '?')) continue;
    const std::string file = url_in(root + "\\" + contained_relative_path(records[i].path));
    bool matched = false;
    for (size_t j = 0; j <= i && !matched; ++j) {
      std::string url = records[j].url;  // as a profile gives it back: without surrounding blanks
      url = url.substr(0, url.find_last_not_of(" \t") + 1);
      matched = equal_ignoring_case(records[j].path, records[i].path) &&
                file == url.substr(std::min(url.size(), url.find_first_not_of(" \t")));
    }
    EXPECT_TRUE(matched) << records[i].path << " -> " << file;
  }
}

// Each record's link and path, the path without the extension of its last
// component, which a bookmark file does not keep, and that name sanitised as
// the reader does.
std::vector<Link> bare_links(const std::vector<LVK_URL>& records) {
  std::vector<Link> out = links_of(records);
  for (Link& link : out) {
    std::string& path = link.second;
    const size_t name = path.rfind('\\') + 1;  // 0 without a backslash
    if (path.size() - name >= 4) path.resize(path.size() - 4);
    sanitise_name(&path[name]);
  }
  return out;
}

// Every record of every real collection survives both writers: written as a
// bookmark file and read again it gives the same folders, names and links,
// and written as a tree it has a file for each.
TEST(SaveResults, RealCollectionsSurviveBothWriters) {
  static std::vector<std::string> messages;
  platform::set_message_hook([](const std::string& text, const std::string&, platform::MessageIcon) {
    messages.push_back(text);
  });
  TempDir dir;
  size_t sources = 0, fixed = 0;
  for (const char* kind : {"html", "url"})
    for (const auto& entry : fs::directory_iterator(fs::path(LVN_REALWORLD_DIR) / kind)) {
      SCOPED_TRACE(entry.path().string());
      // A copy to work on; the collection itself is never written.
      const std::string n = std::to_string(++sources), copy = dir.file("copy-" + n), tree = dir.file("tree-" + n);
      fs::copy(entry.path(), copy, fs::copy_options::recursive);
      // Marked as a run leaves it when it keeps all.
      std::vector<LVK_URL> records = create_project_from(copy, dir.file("p.lvn"));
      ASSERT_FALSE(records.empty());
      for (LVK_URL& record : records) record.checked = 1;
      write_project_file(dir.file("p.lvn"), records);
      save(output_bookmark_file, dir.file("p.lvn"), dir.file("back.html"));
      const auto back = create_project_from(dir.file("back.html"), dir.file("back.lvn"));
      EXPECT_EQ(bare_links(back), bare_links(records));
      save(output_favorites_tree, dir.file("p.lvn"), tree);
      expect_tree_holds_every_record(records, tree);
      if (!fs::is_directory(copy)) continue;
      // Over itself with everything kept: not one byte or time stamp changes.
      const auto before = capture_tree(copy);
      save(output_favorites_tree, dir.file("p.lvn"), copy);
      EXPECT_EQ(capture_tree(copy, {"Dead Links"}), before);
      EXPECT_TRUE(fs::is_directory(copy + "/Dead Links"));
      // A fixed shortcut gets its new link and keeps every other line, its
      // other keys and sections, in their order.
      for (LVK_URL& record : records)
        if (record.path == std::string("Favorites\\Bing.url")) {
          const std::string file = copy + "/Favorites/Bing.url", old = TempDir::read(file);
          record.action = fix;
          copy_field(record.url, sizeof record.url, "http://fixed.example/");
          write_project_file(dir.file("p.lvn"), records);
          save(output_favorites_tree, dir.file("p.lvn"), copy);
          EXPECT_EQ(url_in(file) + url_in(file, "DEFAULT", "BASEURL"), "http://fixed.example/http://fixed.example/");
          EXPECT_EQ(url_in(copy + "/Dead Links/Bing.url"), "http://fixed.example/");
          const std::string now = TempDir::read(file);
          size_t at = 0, kept = 0;
          for (size_t start = 0, end; (end = old.find('\n', start)) != std::string::npos; start = end + 1) {
            if (old.compare(start, 4, "URL=") == 0) continue;
            ASSERT_NE(at = now.find(old.substr(start, end - start + 1), at), std::string::npos) << start;
            at += end - start + 1, ++kept;
          }
          EXPECT_GE(kept, 6u);
          ++fixed;
        }
    }
  EXPECT_EQ(sources, 12u);
  EXPECT_EQ(fixed, 1u);
  EXPECT_TRUE(messages.empty());
}

}  // namespace
