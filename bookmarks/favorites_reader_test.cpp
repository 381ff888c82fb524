// The favorites tree reader over real folders: records, their order, their
// bytes, and trees that are odd, deep, cyclic or unreadable.
#include "bookmarks/favorites_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"
#include "platform/platform.h"
#include "tests/support/console_transcript.h"
#include "tests/support/temp_dir.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

using Entry = std::pair<std::string, std::string>;  // URL, relative path
using Entries = std::set<Entry>;

// Reads back a project file that a reader has just filled: its size, its
// record bytes (zero beyond each text) and record_total must all agree.
std::vector<Entry> records_of(const std::string& project) {
  const std::string bytes = TempDir::read(project);
  const size_t count = bytes.size() < kHeaderSize ? 0 : (bytes.size() - kHeaderSize) / kRecordSize;
  EXPECT_EQ(bytes.size(), kHeaderSize + count * kRecordSize);
  EXPECT_EQ(record_total, count);
  std::vector<Entry> out;
  for (size_t i = 0; i < count; ++i) {
    const char* raw = bytes.data() + record_offset(i);
    const size_t url_end = field_length(raw, kUrlSize);
    const size_t path_end = kUrlSize + field_length(raw + kUrlSize, kPathSize);
    EXPECT_LT(url_end, kUrlSize);
    EXPECT_LT(path_end, kUrlSize + kPathSize);
    EXPECT_EQ(std::string(raw + url_end, kUrlSize - url_end),
              std::string(kUrlSize - url_end, '\0'));
    EXPECT_EQ(std::string(raw + path_end, kRecordSize - path_end),
              std::string(kRecordSize - path_end, '\0'));
    LVK_URL record;
    decode_record(reinterpret_cast<const unsigned char*>(raw), record);
    out.push_back({record.url, record.path});
  }
  return out;
}

// Makes a new project over `source` the way the wizard does.
std::vector<Entry> create_from(const std::string& source, const TempDir& work) {
  const std::string project = work.file("walk.lvn");
  platform::delete_file(project);
  copy_field(project_path, sizeof project_path, project);
  copy_field(source_path, sizeof source_path, source);
  threads = 2;
  dead_links_text = 0;
  create_project(true);
  ProjectHeader header;
  EXPECT_TRUE(read_project_header(project.c_str(), header));
  EXPECT_STREQ(header.source, source.substr(0, kSourceSize - 1).c_str());
  return records_of(project);
}
Entries set_from(const std::string& source, const TempDir& work) {
  const std::vector<Entry> records = create_from(source, work);
  EXPECT_EQ(Entries(records.begin(), records.end()).size(), records.size()) << "a record twice";
  return Entries(records.begin(), records.end());
}

// The relative paths that a depth-first, pre-order walk in the platform's own
// listing order gives, found by listing each folder afresh.
void listing_order(const std::string& dir, const std::string& prefix,
                   std::vector<std::string>& out) {
  platform::DirListing listing;
  if (!listing.open(dir + "\\*.*")) return;
  for (platform::DirEntry entry; listing.next(entry);) {
    if (!entry.is_directory)
      out.push_back(prefix + entry.name);
    else if (entry.name != "." && entry.name != "..")
      listing_order(dir + "\\" + entry.name, prefix + entry.name + "\\", out);
  }
}
std::vector<std::string> paths_of(const std::vector<Entry>& entries) {
  std::vector<std::string> out;
  for (const Entry& e : entries) out.push_back(e.second);
  return out;
}

TEST(FavoritesReader, DepthFirstInListingOrderWithRelativePaths) {
  TempDir tree, work;
  const Entries want = {{"http://a.example/", "a.url"},
                        {"http://b.example/", "Sub\\b.url"},
                        {"http://d.example/", "Sub\\Deeper\\d.url"},
                        {"http://e.example/", "Sub\\e.url"},
                        {"http://c.example/", "c.url"},
                        {"http://f.example/", "Other\\f.url"}};
  for (const Entry& e : want) tree.write(e.second, shortcut_text(e.first));
  fs::create_directories(tree.file("Empty\\Folders"));

  const std::vector<Entry> records = create_from(tree.path(), work);
  std::vector<std::string> expected_order;
  listing_order(tree.path(), "", expected_order);
  EXPECT_EQ(paths_of(records), expected_order);
  EXPECT_EQ(Entries(records.begin(), records.end()), want);

  // A root with trailing separators gives the same relative paths.
  EXPECT_EQ(create_from(tree.path() + "\\", work), records);
  EXPECT_EQ(create_from(tree.path() + "\\\\", work), records);
#ifndef _WIN32
  EXPECT_EQ(create_from(tree.path() + "/", work), records);
#endif
}

TEST(FavoritesReader, RootsThatGiveNoRecords) {
  TempDir tree, work;
  // A root of 300 characters does not fit the 260-byte buffer. Two levels,
  // so that no single name is longer than file systems allow.
  const std::string name =
      std::string(100, 'r') + "\\" + std::string(300 - tree.path().size() - 102, 's');
  tree.write(name + "\\a.url", shortcut_text("http://a.example/"));
  std::vector<std::string> roots = {tree.file("no such folder"), tree.file(name),
                                    tree.file(name) + "\\"};
#ifndef _WIN32
  roots.push_back(tree.path() + "/.");  // a root that ends in a dot is not walked
#endif
  for (const std::string& root : roots) EXPECT_TRUE(create_from(root, work).empty()) << root;
}

TEST(FavoritesReader, EveryFileBecomesARecordWhateverItHolds) {
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
      {"later.url",
       "[Other]\r\nURL=http://wrong.example/\r\n" + shortcut_text("http://right.example/")},
#ifndef _WIN32
      // Folders whose names end in a dot are not walked; such files are read.
      {"dots.\\hidden.url", shortcut_text("http://hidden.example/")},
      {"file.", shortcut_text("http://file-dot.example/")},
      {".dotfirst\\seen.url", shortcut_text("http://seen.example/")},
#endif
  };
  for (const auto& [name, content] : files) tree.write(name, content);
  Entries want = {{long_url.substr(0, 999), "long.url"},
                  {long_url.substr(0, 999), "exact.url"},
                  {"", "notes.txt"},
                  {"", "nokey.url"},
                  {"", "empty.url"},
                  {"http://cased.example/", "cased.url"},
                  {"http://in-a-text-file.example/", "text.txt"},
                  {"http://right.example/", "later.url"}};
#ifndef _WIN32
  want.insert(
      {{"http://file-dot.example/", "file."}, {"http://seen.example/", ".dotfirst\\seen.url"}});
#endif
  EXPECT_EQ(set_from(tree.path(), work), want);
}

// Only regular files are read, and of each no more than its first 1 MiB: a
// FIFO would block the walk for good, a link to /dev/zero would read without
// end, and a link to nothing is no bookmark.
TEST(FavoritesReader, OnlyTheHeadsOfRegularFilesAreRead) {
  TempDir tree, work;
  tree.write("plain.url", shortcut_text("http://plain.example/"));
  tree.write("huge.url", shortcut_text("http://huge.example/") + std::string(50 << 20, ';'));
  tree.write("late.url",
             std::string(2 << 20, ';') + "\r\n" + shortcut_text("http://late.example/"));
  Entries want = {{"http://plain.example/", "plain.url"},
                  {"http://huge.example/", "huge.url"},
                  {"", "late.url"}};
#ifndef _WIN32
  ASSERT_EQ(::mkfifo(tree.file("fifo.url").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", tree.file("zero.url").c_str()), 0);
  ASSERT_EQ(::symlink(tree.file("nowhere").c_str(), tree.file("dangling.url").c_str()), 0);
  ASSERT_EQ(::symlink(tree.file("plain.url").c_str(), tree.file("linked.url").c_str()), 0);
  want.insert({"http://plain.example/", "linked.url"});
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socket_path = tree.file("sock.url");
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socket_path.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  // A socket given as the source itself is no file either.
  EXPECT_TRUE(create_from(socket_path, work).empty());
#endif
  EXPECT_EQ(set_from(tree.path(), work), want);
#ifndef _WIN32
  ::close(fd);
#endif
}

TEST(FavoritesReader, FileAsRootGivesOneRecordWithItsNameAndNoUrl) {
  TempDir tree, work;
  // Even a real shortcut yields no URL: the shortcut path is the file's path,
  // a backslash and its name, which does not exist.
  const std::string file = tree.write("Only.url", shortcut_text("http://only.example/"));
  project_stream =
      platform::open_file(work.file("direct.lvn"), platform::FileAccess::create_truncate);
  const std::vector<unsigned char> header(kHeaderSize, 0);
  project_stream.write(header.data(), header.size());
  record_total = 0;
  copy_field(source_path, sizeof source_path, file);
  walk_favorites_tree(source_path, nullptr);
  project_stream.close();
  EXPECT_EQ(records_of(work.file("direct.lvn")), (std::vector<Entry>{{"", "Only.url"}}));
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
            (Entries{{"http://fits.example/", fits + "\\a"}, {"http://top.example/", "top.url"}}));
}

// Trees deeper than the path limit, each level one folder `name` holding
// f.url: a plain chain made as deep as the file system lets it go (past the
// limit on Windows too, where the shortcuts near the limit need long paths),
// and a link back to its own folder. Only the levels whose folder pattern
// fits in 260 bytes are read.
TEST(FavoritesReader, TreesDeeperThanThePathLimitEndAtIt) {
  const struct {
    const char* name;
    bool cycle;
  } cases[] = {{"d", false},
#ifndef _WIN32
               {"cycle-link", true}
#endif
  };
  const auto url = [](bool cycle, size_t level) {
    return "http://level" + std::to_string(cycle ? 0 : level) + ".example/";
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tree, work;
    tree.write("f.url", shortcut_text(url(c.cycle, 0)));
    std::string relative;
    size_t depth = 0;
#ifndef _WIN32
    if (c.cycle) {
      ASSERT_EQ(::symlink(tree.path().c_str(), tree.file(c.name).c_str()), 0);
      depth = 1000;  // without end
    }
#endif
    for (size_t level = 1; !c.cycle && level <= 400; ++level) {
      relative += std::string(c.name) + "\\";
      std::error_code ec;
      if (!fs::exists(tree.write(relative + "f.url", shortcut_text(url(false, level))), ec)) break;
      depth = level;
    }
    ASSERT_GT(tree.path().size() + 2 * depth, 260u) << "the tree must go past the path limit";

    Entries want;
    std::string dir = tree.path();
    relative.clear();
    for (size_t level = 0; level <= depth && dir.size() + 4 <= 259; ++level) {
      want.insert({url(c.cycle, level), relative + "f.url"});
      dir += "\\" + std::string(c.name);
      relative += std::string(c.name) + "\\";
    }
    EXPECT_EQ(set_from(tree.path(), work), want);
  }
}

#ifndef _WIN32
TEST(FavoritesReader, UnreadableFolderIsSkippedWithEverythingBelowIt) {
  TempDir tree, work;
  tree.write("open.url", shortcut_text("http://open.example/"));
  tree.write("Locked\\Below\\deeper.url", shortcut_text("http://deeper.example/"));
  const std::string locked = tree.file("Locked");
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  const bool binds = ::access(locked.c_str(), R_OK | X_OK) != 0;
  const std::vector<Entry> records = binds ? create_from(tree.path(), work) : std::vector<Entry>{};
  ::chmod(locked.c_str(), 0755);
  if (!binds) GTEST_SKIP() << "permissions do not bind this user (root)";
  EXPECT_EQ(records, (std::vector<Entry>{{"http://open.example/", "open.url"}}));
}
#endif

TEST(FavoritesReader, RealFavoritesFolders) {
  TempDir work;
  std::string root = std::string(LVN_REALWORLD_DIR) + "/url";
#ifdef _WIN32
  root = "Z:" + root;
  std::replace(root.begin(), root.end(), '/', '\\');
#endif
  const std::vector<Entry> records = create_from(root, work);
  const Entries got(records.begin(), records.end());
#ifdef _WIN32
  // Names come through the ANSI code page: letters that it cannot hold turn
  // into '?', such a file's shortcut cannot be opened (no URL), and such a
  // folder (the Cyrillic one under bj-Favorites) cannot be walked. With a
  // Cyrillic code page nothing is lost.
  ASSERT_TRUE(records.size() == 9u || records.size() == 10u) << testing::PrintToString(records);
#else
  ASSERT_EQ(records.size(), 10u) << testing::PrintToString(records);
  // Names come as the file system's UTF-8 bytes; a URL of Windows-1251
  // bytes is kept as it is.
  const Entries cyrillic = {
      {"http://autocad-lessons.ru/3d-cherchenie/metrrezba/",
       "bj-Favorites\\Hard\\AutoCad\\\xd0\xa0\xd0\xb5\xd0\xb7\xd1\x8c\xd0\xb1\xd0\xb0.url"},
      {"http://\xf0\xe5\xf8\xe5\xed\xee.\xf0\xf4/node/241",
       "lio68-Favorites\\Links\\Vagrant \xd0\xb8 chef  \xd1\x80\xd0\xb5\xd1\x88\xd0\xb5\xd0\xbd"
       "\xd0\xbe.\xd1\x80\xd1\x84.url"}};
  for (const Entry& e : cyrillic) EXPECT_EQ(got.count(e), 1u) << testing::PrintToString(e);
#endif
  const Entries ascii = {
      {"http://go.microsoft.com/fwlink/p/?LinkId=255142", "sgorain-ICS3U\\Favorites\\Bing.url"},
      // UTF-16 desktop.ini: no [InternetShortcut] to be found.
      {"", "sgorain-ICS3U\\Favorites\\Desktop.ini"},
      {"", "sgorain-ICS3U\\Favorites\\Links\\Suggested Sites (23).url"}};  // no URL key
  for (const Entry& e : ascii) EXPECT_EQ(got.count(e), 1u) << testing::PrintToString(e);

  // Within each folder the listing order decides; across folders the walk is
  // depth-first, so each folder's records are contiguous.
  std::vector<std::string> expected_order;
  listing_order(root, "", expected_order);
  EXPECT_EQ(paths_of(records), expected_order);
}

}  // namespace
