// The favorites tree reader over real folders: records, their order, and
// trees that are odd, unreadable or real; then the stress cases of both
// readers (deep trees, huge values, link cycles) in one table.
#include "bookmarks/favorites_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/project.h"
#include "platform/platform.h"
#include "tests/support/console_transcript.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

using Links = std::set<Link>;

std::vector<Link> read_tree(const std::string& source, const TempDir& work) {
  return links_of(create_project_from(source, work.file("walk.lvn")));
}
Links set_from(const std::string& source, const TempDir& work) {
  const std::vector<Link> links = read_tree(source, work);
  EXPECT_EQ(Links(links.begin(), links.end()).size(), links.size()) << "a record twice";
  return Links(links.begin(), links.end());
}

// The relative paths of a depth-first, pre-order walk in the platform's own
// listing order, found by listing each folder afresh.
void listing_order(const std::string& dir, const std::string& prefix, std::vector<std::string>& out) {
  platform::DirListing listing;
  if (!listing.open(dir + "\\*.*")) return;
  for (platform::DirEntry entry; listing.next(entry);) {
    if (!entry.is_directory)
      out.push_back(prefix + entry.name);
    else if (entry.name != "." && entry.name != "..")
      listing_order(dir + "\\" + entry.name, prefix + entry.name + "\\", out);
  }
}
void expect_walk_order(const std::string& root, const std::vector<Link>& links) {
  std::vector<std::string> want, got;
  listing_order(root, "", want);
  for (const Link& link : links) got.push_back(link.second);
  EXPECT_EQ(got, want);
}

TEST(FavoritesReader, DepthFirstInListingOrderWithRelativePaths) {
  TempDir tree, work;
  const Links want = {{"http://a.example/", "a.url"},         {"http://b.example/", "Sub\\b.url"},
                      {"http://d.example/", "Sub\\Deeper\\d.url"}, {"http://e.example/", "Sub\\e.url"},
                      {"http://c.example/", "c.url"},         {"http://f.example/", "Other\\f.url"}};
  for (const Link& link : want) tree.write(link.second, shortcut_text(link.first));
  fs::create_directories(tree.file("Empty\\Folders"));
  const std::vector<Link> links = read_tree(tree.path(), work);
  expect_walk_order(tree.path(), links);
  EXPECT_EQ(Links(links.begin(), links.end()), want);
  // A root with trailing separators gives the same relative paths.
  for (const char* tail : {"\\", "\\\\", platform::windows_name_rules() ? "\\" : "/"})
    EXPECT_EQ(read_tree(tree.path() + tail, work), links) << tail;
}

TEST(FavoritesReader, RootsThatGiveNoRecords) {
  TempDir tree, work;
  // A root of 300 characters does not fit the 260-byte buffer. Two levels,
  // so that no single name is longer than file systems allow.
  const std::string name =
      std::string(100, 'r') + "\\" + std::string(300 - tree.path().size() - 102, 's');
  tree.write(name + "\\a.url", shortcut_text("http://a.example/"));
  std::vector<std::string> roots = {tree.file("no such folder"), tree.file(name), tree.file(name) + "\\"};
#ifndef _WIN32
  roots.push_back(tree.path() + "/.");  // a root that ends in a dot is not walked
  ASSERT_EQ(::mkfifo(tree.file("fifo").c_str(), 0600), 0);
  roots.push_back(tree.file("fifo"));  // no file to read, and it must not block
#endif
  for (const std::string& root : roots) EXPECT_TRUE(read_tree(root, work).empty()) << root;
}

// Only regular files are read: a FIFO would block the walk for good, a link
// to /dev/zero would read without end, and a link to nothing is no bookmark.
TEST(FavoritesReader, EveryRegularFileBecomesARecordWhateverItHolds) {
  TempDir tree, work;
  std::string long_url = "http://long.example/";
  while (long_url.size() < 1500) long_url += "abcdefghij";
  const std::pair<const char*, std::string> files[] = {
      {"long.url", shortcut_text(long_url)},
      {"exact.url", shortcut_text(long_url.substr(0, 999))},
      {"notes.txt", "just some notes\r\n"},
      {"nokey.url", "[InternetShortcut]\r\nIconIndex=1\r\n"},
      {"empty.url", ""},
      {"cased.url", "[internetSHORTCUT]\r\nurl=http://cased.example/\r\n"},
      {"text.txt", "[InternetShortcut]\nURL=http://in-a-text-file.example/\n"},
      {"later.url", "[Other]\r\nURL=http://wrong.example/\r\n" + shortcut_text("http://right.example/")},
#ifndef _WIN32
      // Folders whose names end in a dot are not walked; such files are read.
      {"dots.\\hidden.url", shortcut_text("http://hidden.example/")},
      {"file.", shortcut_text("http://file-dot.example/")},
      {".dotfirst\\seen.url", shortcut_text("http://seen.example/")},
#endif
  };
  for (const auto& [name, content] : files) tree.write(name, content);
  Links want = {{long_url.substr(0, 999), "long.url"},
                {long_url.substr(0, 999), "exact.url"},
                {"", "notes.txt"},
                {"", "nokey.url"},
                {"", "empty.url"},
                {"http://cased.example/", "cased.url"},
                {"http://in-a-text-file.example/", "text.txt"},
                {"http://right.example/", "later.url"}};
#ifndef _WIN32
  want.insert({{"http://file-dot.example/", "file."},
               {"http://seen.example/", ".dotfirst\\seen.url"},
               {"http://right.example/", "linked.url"}});
  ASSERT_EQ(::mkfifo(tree.file("fifo.url").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", tree.file("zero.url").c_str()), 0);
  ASSERT_EQ(::symlink(tree.file("nowhere").c_str(), tree.file("dangling.url").c_str()), 0);
  ASSERT_EQ(::symlink(tree.file("later.url").c_str(), tree.file("linked.url").c_str()), 0);
#endif
  EXPECT_EQ(set_from(tree.path(), work), want);
}

// Even a real shortcut yields no URL: the shortcut path is the file's path,
// a backslash and its name, which does not exist.
TEST(FavoritesReader, FileAsRootGivesOneRecordWithItsNameAndNoUrl) {
  TempDir tree, work;
  write_project_file(work.file("p.lvn"), {});
  project_stream = platform::open_file(work.file("p.lvn"), platform::FileAccess::append);
  record_total = 0;
  copy_field(source_path, sizeof source_path, tree.write("Only.url", shortcut_text("http://only.example/")));
  walk_favorites_tree(source_path, nullptr);
  project_stream.close();
  EXPECT_EQ(links_of(read_project_file(work.file("p.lvn"))), (std::vector<Link>{{"", "Only.url"}}));
}

// Directory paths live in 260-byte buffers: a folder whose search pattern
// ("\*.*" appended) would not fit is skipped with everything below it.
TEST(FavoritesReader, FolderWhosePatternWouldNotFitIsSkipped) {
  TempDir tree, work;
  const size_t root = tree.path().size();
  ASSERT_LT(root + 20, 255u);
  // fits: root + '\' + name is 255 characters, and its pattern 259.
  const std::string fits(255 - root - 1, 'f'), too_long(256 - root - 1, 'g');
  tree.write(fits + "\\a", shortcut_text("http://fits.example/"));
  tree.write(too_long + "\\b", shortcut_text("http://too-long.example/"));
  tree.write("top.url", shortcut_text("http://top.example/"));
  EXPECT_EQ(set_from(tree.path(), work),
            (Links{{"http://fits.example/", fits + "\\a"}, {"http://top.example/", "top.url"}}));
}

#ifndef _WIN32
TEST(FavoritesReader, UnreadableFolderIsSkippedWithEverythingBelowIt) {
  TempDir tree, work;
  tree.write("open.url", shortcut_text("http://open.example/"));
  tree.write("Locked\\Below\\deeper.url", shortcut_text("http://deeper.example/"));
  const std::string locked = tree.file("Locked");
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  const bool binds = ::access(locked.c_str(), R_OK | X_OK) != 0;
  const std::vector<Link> links = binds ? read_tree(tree.path(), work) : std::vector<Link>{};
  ::chmod(locked.c_str(), 0755);
  if (!binds) GTEST_SKIP() << "permissions do not bind this user (root)";
  EXPECT_EQ(links, (std::vector<Link>{{"http://open.example/", "open.url"}}));
}
#endif

TEST(FavoritesReader, RealFavoritesFolders) {
  TempDir work;
  const std::string root = realworld("url");
  const std::vector<Link> links = read_tree(root, work);
  const Links got(links.begin(), links.end());
  Links want = {{"http://go.microsoft.com/fwlink/p/?LinkId=255142", "sgorain-ICS3U\\Favorites\\Bing.url"},
                // UTF-16 desktop.ini: no [InternetShortcut] to be found.
                {"", "sgorain-ICS3U\\Favorites\\Desktop.ini"},
                {"", "sgorain-ICS3U\\Favorites\\Links\\Suggested Sites (23).url"}};  // no URL key
#ifdef _WIN32
  // Names come through the ANSI code page: letters that it cannot hold turn
  // into '?', such a file's shortcut cannot be opened (no URL), and such a
  // folder (the Cyrillic one under bj-Favorites) cannot be walked. With a
  // Cyrillic code page nothing is lost.
  ASSERT_TRUE(links.size() == 9u || links.size() == 10u) << testing::PrintToString(links);
#else
  ASSERT_EQ(links.size(), 10u) << testing::PrintToString(links);
  // Names come as the file system's UTF-8 bytes; a URL of Windows-1251 bytes
  // is kept as it is.
  want.insert({{"http://autocad-lessons.ru/3d-cherchenie/metrrezba/",
                "bj-Favorites\\Hard\\AutoCad\\\xd0\xa0\xd0\xb5\xd0\xb7\xd1\x8c\xd0\xb1\xd0\xb0.url"},
               {"http://\xf0\xe5\xf8\xe5\xed\xee.\xf0\xf4/node/241",
                "lio68-Favorites\\Links\\Vagrant \xd0\xb8 chef  \xd1\x80\xd0\xb5\xd1\x88\xd0\xb5\xd0\xbd"
                "\xd0\xbe.\xd1\x80\xd1\x84.url"}});
#endif
  for (const Link& link : want) EXPECT_EQ(got.count(link), 1u) << testing::PrintToString(link);
  expect_walk_order(root, links);
}

std::string times(const std::string& text, size_t n) {
  std::string out;
  while (n--) out += text;
  return out;
}
std::string level_url(size_t level) { return "http://level" + std::to_string(level) + ".example/"; }

// A chain of folders `name` below the tree, each holding f.url (of level 0
// for a cycle): only the levels whose folder pattern fits in 260 bytes count.
Links levels(const TempDir& tree, const std::string& name, size_t depth, bool cycle) {
  Links want;
  std::string dir = tree.path(), relative;
  for (size_t level = 0; level <= depth && dir.size() + 4 <= 259; ++level) {
    want.insert({level_url(cycle ? 0 : level), relative + "f.url"});
    dir += "\\" + name;
    relative += name + "\\";
  }
  return want;
}

// Each case makes its source in a fresh folder and gives the records it must
// yield, in any order.
TEST(Readers, StressCases) {
  const std::string huge(10 << 20, 'x'), x995(995, 'x');
  const struct {
    const char* what;
    std::function<std::string(const TempDir&, Links&)> make;
  } cases[] = {
      {"a bookmark file 5,000 folders deep, closed back to the top",
       [](const TempDir& tree, Links& want) {
         std::string text;
         for (int i = 0; i < 5000; ++i)
           text += std::string("<DT><H3>f</H3>\n<DL><p>\n") + (i == 9 ? "<DT><A HREF=\"u10\">Ten</A>\n" : "");
         text += "<DT><A HREF=\"deep\">Deep</A>\n" + times("</DL><p>\n", 4999) +
                 "<DT><A HREF=\"first\">First level</A>\n</DL><p>\n<DT><A HREF=\"top\">Top</A>\n";
         want = {{"u10", times("f\\", 10) + "Ten.URL"}, {"deep", times("f\\", 498).substr(0, 995) + ".URL"},
                 {"first", "f\\First level.URL"}, {"top", "Top.URL"}};
         return tree.write("deep.htm", text);
       }},
      {"10 MB title, URL and folder name in a bookmark file, and a title to its end",
       [&](const TempDir& tree, Links& want) {
         want = {{"u", x995 + ".URL"}, {"v", "V.URL"}, {std::string(999, 'x'), "T.URL"},
                 {"w", x995 + ".URL"}, {"z", "Z.URL"}};
         return tree.write("huge.htm", "<DT><A HREF=\"u\">" + huge + "</A><DT><A HREF=\"v\">V</A><DT><A HREF=\"" +
                                           huge + "\">T</A><DT><H3>" + huge + "</H3><DL><DT><A HREF=\"w\">W</A>"
                                           "</DL><DT><A HREF=\"z\">Z</A><DT><A HREF=\"y\">" + huge);
       }},
      {"a 50 MB shortcut, and one whose section starts past the first 1 MiB",
       [](const TempDir& tree, Links& want) {
         tree.write("huge.url", shortcut_text("http://huge.example/") + std::string(50 << 20, ';'));
         tree.write("late.url", std::string(2 << 20, ';') + "\r\n" + shortcut_text("http://late.example/"));
         want = {{"http://huge.example/", "huge.url"}, {"", "late.url"}};
         return tree.path();
       }},
      // As deep as the file system lets it go: past the limit on Windows too,
      // where the shortcuts near the limit need long paths.
      {"a chain of folders past the path limit",
       [](const TempDir& tree, Links& want) {
         tree.write("f.url", shortcut_text(level_url(0)));
         size_t depth = 0;
         std::error_code ec;
         for (std::string relative = "d\\";
              depth < 400 && fs::exists(tree.write(relative + "f.url", shortcut_text(level_url(depth + 1))), ec);
              relative += "d\\")
           ++depth;
         EXPECT_GT(tree.path().size() + 2 * depth, 260u) << "the tree must go past the path limit";
         want = levels(tree, "d", depth, false);
         return tree.path();
       }},
#ifndef _WIN32
      {"a link back to its own folder",
       [](const TempDir& tree, Links& want) {
         tree.write("f.url", shortcut_text(level_url(0)));
         EXPECT_EQ(::symlink(tree.path().c_str(), tree.file("cycle-link").c_str()), 0);
         want = levels(tree, "cycle-link", 1000, true);
         return tree.path();
       }},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir tree, work;
    Links want;
    const std::string source = c.make(tree, want);
    EXPECT_EQ(set_from(source, work), want);
  }
}

}  // namespace
