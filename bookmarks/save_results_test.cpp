// The save step end to end: projects read from real bookmark collections by
// the real readers, saved through the dispatcher by both writers, and read
// back again.
#include "bookmarks/save_results.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "bookmarks/bookmark_file_reader.h"
#include "bookmarks/favorites_writer.h"
#include "core/globals.h"
#include "core/project.h"
#include "platform/platform.h"
#include "tests/support/file_tree.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

using Link = std::pair<std::string, std::string>;  // url, relative path

std::string url_in(const std::string& file) {
  return platform::profile_read(file, "InternetShortcut", "URL", "<none>", 1000);
}

std::vector<Link> links_of(const std::vector<LVK_URL>& records) {
  std::vector<Link> links;
  for (const LVK_URL& record : records) links.emplace_back(record.url, record.path);
  return links;
}

// The relative path without the extension of its last component, which a
// bookmark file does not keep.
std::string without_extension(const std::string& path) {
  const size_t slash = path.rfind('\\');
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  return path.size() - name < 4 ? path : path.substr(0, path.size() - 4);
}

bool same_ignoring_case(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// A value as a profile file gives it back: without surrounding blanks.
std::string trimmed(const std::string& value) {
  const size_t first = value.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

// The path as it comes back from a bookmark file: its last component passes
// through the reader's name sanitising.
std::string as_read_back(const std::string& path) {
  const std::string bare = without_extension(path);
  const size_t slash = bare.rfind('\\');
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  std::string last = bare.substr(name);
  sanitise_name(&last[0]);
  return bare.substr(0, name) + last;
}

// The output file of a record below a tree written at `root`.
std::string tree_file(const std::string& root, const std::string& relative_path) {
  return root + "\\" + contained_relative_path(relative_path);
}

struct Message {
  std::string text;
};
std::vector<Message> messages;
void capture(const std::string& text, const std::string&, platform::MessageIcon) {
  messages.push_back({text});
}

class SaveResultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    messages.clear();
    platform::set_message_hook(capture);
    dead_links_text = 0;
    console_mode = false;
  }
  void TearDown() override {
    platform::set_message_hook(nullptr);
    output_mode = 0;
  }

  // A new project read from `source` by the reader that its kind calls for.
  std::vector<LVK_URL> read_into_project(const std::string& source, const std::string& project) {
    std::remove(project.c_str());
    copy_field(source_path, sizeof source_path, source);
    copy_field(project_path, sizeof project_path, project);
    create_project(true);
    return read_project_file(project);
  }
  // Marks every record as a run would have left it, keeping all.
  void keep_all(const std::string& project) {
    std::vector<LVK_URL> records = read_project_file(project);
    for (LVK_URL& record : records) record.checked = 1;
    replace_project_records(project, records);
  }
  void save(int mode, const std::string& project, const std::string& location) {
    copy_field(project_path, sizeof project_path, project);
    copy_field(output_location, sizeof output_location, location);
    output_mode = static_cast<uint32_t>(mode);
    save_results();
  }

  // Bookmark file round trip: everything kept comes back as it was read.
  void expect_bookmark_file_round_trip(const std::string& source) {
    const std::vector<LVK_URL> first = read_into_project(source, dir.file("first.lvn"));
    keep_all(dir.file("first.lvn"));
    save(1, dir.file("first.lvn"), dir.file("written.html"));
    const std::vector<LVK_URL> second =
        read_into_project(dir.file("written.html"), dir.file("second.lvn"));
    EXPECT_EQ(links_of(second), links_of(first)) << source;
    EXPECT_TRUE(messages.empty());
  }

  // Tree written into a new folder: every record has its file there, but
  // one whose name a Windows listing could not map to the ANSI code page
  // ('?' in its place): the reader found no such file.
  void expect_tree_holds_every_record(const std::vector<LVK_URL>& records, const std::string& root) {
    for (size_t i = 0; i < records.size(); ++i) {
      if (platform::windows_name_rules() && std::strchr(records[i].path, '?')) continue;
      const std::string file = tree_file(root, records[i].path);
      // Kept files are never rewritten: of several records with one name
      // the first (in the file system's sense of "one name") wins.
      bool matched = false;
      for (size_t j = 0; j <= i && !matched; ++j)
        matched = (same_ignoring_case(records[j].path, records[i].path)) &&
                  url_in(file) == trimmed(records[j].url);
      EXPECT_TRUE(matched) << records[i].path << " -> " << url_in(file);
    }
  }

  TempDir dir;
};

TEST_F(SaveResultsTest, OtherOutputModesWriteNothing) {
  // Modes 1 and 2 are the writers' (below); every other mode writes nothing.
  write_project_file(dir.file("p.lvn"), {make_record("http://a/", "News\\A.URL", 1)});
  for (int mode : {0, 3, -1, 12}) {
    const std::string location = dir.file("mode" + std::to_string(mode + 100));
    save(mode, dir.file("p.lvn"), location);
    EXPECT_FALSE(platform::file_attributes(location).exists) << mode;
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(SaveResultsTest, RealBookmarkFilesSurviveBothWriters) {
  const fs::path folder = fs::path(LVN_REALWORLD_DIR) / "html";
  ASSERT_TRUE(fs::is_directory(folder)) << folder;
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string source = entry.path().string();
    SCOPED_TRACE(source);
    ++files;
    expect_bookmark_file_round_trip(source);
    const std::vector<LVK_URL> records = read_project_file(dir.file("first.lvn"));
    EXPECT_FALSE(records.empty());

    const std::string tree = dir.file("tree-" + std::to_string(files));
    save(2, dir.file("first.lvn"), tree);
    // Every record, whatever its names: none is refused a place.
    expect_tree_holds_every_record(records, tree);
  }
  EXPECT_GE(files, 9u);
}

TEST_F(SaveResultsTest, RealFavoritesTreesSurviveBothWriters) {
  const fs::path folder = fs::path(LVN_REALWORLD_DIR) / "url";
  ASSERT_TRUE(fs::is_directory(folder)) << folder;
  size_t trees = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().string());
    ++trees;
    // A copy to work on; the collection itself is never written.
    const std::string copy = dir.file("copy-" + std::to_string(trees));
    fs::copy(entry.path(), copy, fs::copy_options::recursive);
    const std::vector<LVK_URL> records = read_into_project(copy, dir.file("tree.lvn"));
    ASSERT_FALSE(records.empty());
    keep_all(dir.file("tree.lvn"));

    // Over itself with everything kept: not one byte or time stamp changes.
    const auto before = capture_tree(copy);
    save(2, dir.file("tree.lvn"), copy);
    EXPECT_EQ(capture_tree(copy, {"Dead Links"}), before);
    EXPECT_TRUE(fs::is_directory(copy + "/Dead Links"));

    // Into a new folder: every file becomes a shortcut with the URL read.
    const std::string fresh = dir.file("fresh-" + std::to_string(trees));
    save(2, dir.file("tree.lvn"), fresh);
    expect_tree_holds_every_record(records, fresh);

    // As a bookmark file and back: the same folders, names and links.
    save(1, dir.file("tree.lvn"), dir.file("tree.html"));
    const std::vector<LVK_URL> back = read_into_project(dir.file("tree.html"), dir.file("back.lvn"));
    ASSERT_EQ(back.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(std::string(back[i].url), std::string(records[i].url));
      EXPECT_EQ(without_extension(back[i].path), as_read_back(records[i].path));
    }
  }
  EXPECT_EQ(trees, 3u);
  EXPECT_TRUE(messages.empty());
}

// A fixed shortcut gets its new link and keeps every other section and key.
TEST_F(SaveResultsTest, FixedRealShortcutsKeepTheirOtherSections) {
  const std::string copy = dir.file("Favorites");
  fs::copy(fs::path(LVN_REALWORLD_DIR) / "url" / "sgorain-ICS3U" / "Favorites", copy,
           fs::copy_options::recursive);
  const struct {
    std::string file, path, section, key;
  } fixed[] = {{copy + "/Bing.url", "Bing.url", "InternetShortcut", "IconFile"},
               {copy + "/Links/WEB-SLIC.URL", "Links\\WEB-SLIC.URL", "MonitoredItem", "FeedUrl"}};
  std::vector<std::vector<std::string>> sections;
  std::vector<std::string> values;
  for (const auto& f : fixed) {
    sections.push_back(section_names(f.file));
    values.push_back(platform::profile_read(f.file, f.section, f.key, "", 1000));
    ASSERT_FALSE(values.back().empty()) << f.file;
  }
  std::vector<LVK_URL> records = read_into_project(copy, dir.file("p.lvn"));
  for (LVK_URL& record : records) {
    record.checked = 1;
    for (const auto& f : fixed)
      if (f.path == record.path) {
        record.action = fix;
        copy_field(record.url, sizeof record.url, "http://fixed.example/");
      }
  }
  replace_project_records(dir.file("p.lvn"), records);
  save(2, dir.file("p.lvn"), copy);

  for (size_t i = 0; i < 2; ++i) {
    const std::string& file = fixed[i].file;
    EXPECT_EQ(url_in(file), "http://fixed.example/") << file;
    EXPECT_EQ(platform::profile_read(file, "DEFAULT", "BASEURL", "", 1000), "http://fixed.example/");
    EXPECT_EQ(platform::profile_read(file, fixed[i].section, fixed[i].key, "", 1000), values[i]);
    // Every section that was there is still there, in its order.
    std::vector<std::string> kept;
    for (const std::string& name : section_names(file))
      if (std::count(sections[i].begin(), sections[i].end(), name)) kept.push_back(name);
    EXPECT_EQ(kept, sections[i]) << file;
  }
  EXPECT_EQ(url_in(copy + "/Dead Links/Bing.url"), "http://fixed.example/");
}

}  // namespace
