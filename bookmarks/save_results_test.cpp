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
#include "core/ascii.h"
#include "core/globals.h"
#include "core/project.h"
#include "platform/platform.h"
#include "tests/support/file_tree.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

enum PathForm { full_path, bare, read_back };

std::string url_in(const std::string& file, const std::string& section = "InternetShortcut",
                   const std::string& key = "URL") {
  return platform::profile_read(file, section, key, "", 1000);
}

// The path without the extension of its last component, which a bookmark
// file does not keep; `sanitised` passes that name through the reader's
// name sanitising, as it comes back from a bookmark file.
std::string without_extension(const std::string& path, bool sanitised = false) {
  const size_t name = path.rfind('\\') + 1;  // 0 without a backslash
  std::string last = path.substr(name, path.size() - name < 4 ? std::string::npos : path.size() - name - 4);
  if (sanitised) sanitise_name(&last[0]);
  return path.substr(0, name) + last;
}

// A value as a profile file gives it back: without surrounding blanks.
std::string trimmed(const std::string& value) {
  const size_t first = value.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> messages;
void capture(const std::string& text, const std::string&, platform::MessageIcon) {
  messages.push_back(text);
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
    output_mode = output_nothing;
  }

  // A new project read from `source` by the reader its kind calls for; with
  // `checked`, marked as a run would have left it, keeping all.
  std::vector<LVK_URL> read_into_project(const std::string& source, const std::string& project,
                                         bool checked = false) {
    std::remove(project.c_str());
    copy_field(source_path, sizeof source_path, source);
    copy_field(project_path, sizeof project_path, project);
    create_project(true);
    std::vector<LVK_URL> records = read_project_file(project);
    if (!checked) return records;
    for (LVK_URL& record : records) record.checked = 1;
    replace_project_records(project, records);
    return records;
  }
  void save(int mode, const std::string& project, const std::string& location) {
    copy_field(project_path, sizeof project_path, project);
    copy_field(output_location, sizeof output_location, location);
    output_mode = static_cast<uint32_t>(mode);
    save_results();
  }

  // Tree written into a new folder: every record has its file there, but
  // one whose name a Windows listing could not map to the ANSI code page
  // ('?' in its place): the reader found no such file. Kept files are never
  // rewritten: of several records with one name the first wins.
  void expect_tree_holds_every_record(const std::vector<LVK_URL>& records, const std::string& root) {
    for (size_t i = 0; i < records.size(); ++i) {
      if (platform::windows_name_rules() && std::strchr(records[i].path, '?')) continue;
      const std::string file = root + "\\" + contained_relative_path(records[i].path);
      bool matched = false;
      for (size_t j = 0; j <= i && !matched; ++j)
        matched = equal_ignoring_case(records[j].path, records[i].path) &&
                  url_in(file) == trimmed(records[j].url);
      EXPECT_TRUE(matched) << records[i].path << " -> " << url_in(file);
    }
  }

  TempDir dir;
};

TEST_F(SaveResultsTest, OtherOutputModesWriteNothing) {
  write_project_file(dir.file("p.lvn"), {make_record("http://a/", "News\\A.URL", 1)});
  for (int mode : {0, 3, -1, 12}) {
    const std::string location = dir.file("mode" + std::to_string(mode + 100));
    save(mode, dir.file("p.lvn"), location);
    EXPECT_FALSE(platform::file_attributes(location).exists) << mode;
  }
  EXPECT_TRUE(messages.empty());
}

// Each record's url and relative path, the path as `form` gives it.
using Link = std::pair<std::string, std::string>;
std::vector<Link> links_of(const std::vector<LVK_URL>& records, int form = full_path) {
  std::vector<Link> links;
  for (const LVK_URL& r : records)
    links.emplace_back(r.url, form == full_path ? r.path : without_extension(r.path, form == read_back));
  return links;
}

// Every record of every real collection survives: a bookmark file written
// and read again gives the same links, a tree holds a file for each.
TEST_F(SaveResultsTest, RealBookmarkFilesSurviveBothWriters) {
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(LVN_REALWORLD_DIR) / "html")) {
    SCOPED_TRACE(entry.path().string());
    const std::vector<LVK_URL> records =
        read_into_project(entry.path().string(), dir.file("first.lvn"), true);
    EXPECT_FALSE(records.empty());
    save(1, dir.file("first.lvn"), dir.file("written.html"));
    EXPECT_EQ(links_of(read_into_project(dir.file("written.html"), dir.file("second.lvn"))),
              links_of(records));
    const std::string tree = dir.file("tree-" + std::to_string(++files));
    save(2, dir.file("first.lvn"), tree);
    expect_tree_holds_every_record(records, tree);
  }
  EXPECT_GE(files, 9u);
  EXPECT_TRUE(messages.empty());
}

TEST_F(SaveResultsTest, RealFavoritesTreesSurviveBothWriters) {
  size_t trees = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(LVN_REALWORLD_DIR) / "url")) {
    SCOPED_TRACE(entry.path().string());
    // A copy to work on; the collection itself is never written.
    const std::string copy = dir.file("copy-" + std::to_string(++trees));
    fs::copy(entry.path(), copy, fs::copy_options::recursive);
    const std::vector<LVK_URL> records = read_into_project(copy, dir.file("tree.lvn"), true);
    ASSERT_FALSE(records.empty());

    // Over itself with everything kept: not one byte or time stamp changes.
    const auto before = capture_tree(copy);
    save(2, dir.file("tree.lvn"), copy);
    EXPECT_EQ(capture_tree(copy, {"Dead Links"}), before);
    EXPECT_TRUE(fs::is_directory(copy + "/Dead Links"));

    save(2, dir.file("tree.lvn"), dir.file("fresh"));
    expect_tree_holds_every_record(records, dir.file("fresh"));
    fs::remove_all(dir.file("fresh"));

    // As a bookmark file and back: the same folders, names and links.
    save(1, dir.file("tree.lvn"), dir.file("tree.html"));
    EXPECT_EQ(links_of(read_into_project(dir.file("tree.html"), dir.file("back.lvn")), bare),
              links_of(records, read_back));
  }
  EXPECT_EQ(trees, 3u);
  EXPECT_TRUE(messages.empty());
}

// A fixed shortcut gets its new link and keeps every other line, its other
// keys and sections, in their order.
TEST_F(SaveResultsTest, AFixedRealShortcutKeepsEveryOtherLine) {
  const std::string copy = dir.file("Favorites"), file = copy + "/Bing.url";
  fs::copy(fs::path(LVN_REALWORLD_DIR) / "url" / "sgorain-ICS3U" / "Favorites", copy,
           fs::copy_options::recursive);
  const std::string before = TempDir::read(file);
  std::vector<LVK_URL> records = read_into_project(copy, dir.file("p.lvn"), true);
  for (LVK_URL& record : records)
    if (record.path == std::string("Bing.url")) {
      record.action = fix;
      copy_field(record.url, sizeof record.url, "http://fixed.example/");
    }
  replace_project_records(dir.file("p.lvn"), records);
  save(2, dir.file("p.lvn"), copy);

  EXPECT_EQ(url_in(file), "http://fixed.example/");
  EXPECT_EQ(url_in(file, "DEFAULT", "BASEURL"), "http://fixed.example/");
  EXPECT_EQ(url_in(copy + "/Dead Links/Bing.url"), "http://fixed.example/");
  const std::string after = TempDir::read(file);
  size_t at = 0, kept = 0;
  for (size_t start = 0, end; (end = before.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = before.substr(start, end - start + 1);
    if (line.rfind("URL=", 0) == 0) continue;
    at = after.find(line, at);
    ASSERT_NE(at, std::string::npos) << line;
    at += line.size();
    ++kept;
  }
  EXPECT_GE(kept, 6u);
}

}  // namespace
