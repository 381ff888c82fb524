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
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

struct Entry {
  std::string url;
  std::string path;
  bool operator<(const Entry& o) const { return path < o.path || (path == o.path && url < o.url); }
  bool operator==(const Entry& o) const { return url == o.url && path == o.path; }
};

std::ostream& operator<<(std::ostream& out, const Entry& e) {
  return out << "{" << e.path << " -> " << e.url << "}";
}

std::string shortcut(const std::string& url) {
  return "[InternetShortcut]\r\nURL=" + url + "\r\n";
}

// Every byte the program did not put there is zero, and the record is pending.
void expect_clean_record(const unsigned char* bytes) {
  const size_t url_length = field_length(reinterpret_cast<const char*>(bytes), kUrlSize);
  ASSERT_LT(url_length, kUrlSize);
  for (size_t i = url_length; i < kUrlSize; ++i) ASSERT_EQ(bytes[i], 0) << "url byte " << i;
  const size_t path_length =
      field_length(reinterpret_cast<const char*>(bytes + 1000), kPathSize);
  ASSERT_LT(path_length, kPathSize);
  for (size_t i = 1000 + path_length; i < 2012; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

// Reads back a project file that a reader has just filled: its size, its
// record bytes, and record_total must all agree.
std::vector<Entry> records_of(const std::string& project) {
  const std::string bytes = TempDir::read(project);
  EXPECT_GE(bytes.size(), kHeaderSize);
  if (bytes.size() < kHeaderSize) return {};
  EXPECT_EQ((bytes.size() - kHeaderSize) % kRecordSize, 0u);
  const size_t count = (bytes.size() - kHeaderSize) / kRecordSize;
  EXPECT_EQ(record_total, count);
  std::vector<Entry> out;
  for (size_t i = 0; i < count; ++i) {
    const auto* raw = reinterpret_cast<const unsigned char*>(bytes.data() + record_offset(i));
    expect_clean_record(raw);
    LVK_URL record;
    decode_record(raw, record);
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

// Runs the walk itself on a root, into a scratch project file.
std::vector<Entry> walk_into(const std::string& root, const TempDir& work) {
  const std::string project = work.file("direct.lvn");
  project_stream = platform::open_file(project, platform::FileAccess::create_truncate);
  EXPECT_TRUE(project_stream.is_open());
  const std::vector<unsigned char> header(kHeaderSize, 0);
  project_stream.write(header.data(), header.size());
  record_total = 0;
  copy_field(source_path, sizeof source_path, root);
  walk_favorites_tree(source_path, nullptr);
  project_stream.close();
  return records_of(project);
}

// The relative paths that a depth-first, pre-order walk in the platform's own
// listing order gives, found by listing each folder afresh.
void listing_order(const std::string& dir, const std::string& prefix,
                   std::vector<std::string>& out) {
  platform::DirListing listing;
  if (!listing.open(dir + "\\*.*")) return;
  platform::DirEntry entry;
  while (listing.next(entry)) {
    if (entry.is_directory) {
      if (entry.name != "." && entry.name != "..")
        listing_order(dir + "\\" + entry.name, prefix + entry.name + "\\", out);
    } else {
      out.push_back(prefix + entry.name);
    }
  }
}

std::vector<std::string> paths_of(const std::vector<Entry>& entries) {
  std::vector<std::string> out;
  for (const Entry& e : entries) out.push_back(e.path);
  return out;
}

// The real test data's folder in the form the platform's file calls take.
std::string realworld(const std::string& relative) {
  std::string path = std::string(LVN_REALWORLD_DIR) + "/" + relative;
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
#endif
  return path;
}

TEST(FavoritesReader, EmptyTreeAndMissingRootGiveNoRecords) {
  TempDir tree, work;
  EXPECT_TRUE(create_from(tree.path(), work).empty());
  EXPECT_TRUE(create_from(tree.file("no such folder"), work).empty());
  fs::create_directories(tree.file("only\\empty\\folders"));
  EXPECT_TRUE(create_from(tree.path(), work).empty());
}

TEST(FavoritesReader, DepthFirstInListingOrderWithRelativePaths) {
  TempDir tree, work;
  tree.write("a.url", shortcut("http://a.example/"));
  tree.write("Sub\\b.url", shortcut("http://b.example/"));
  tree.write("Sub\\Deeper\\d.url", shortcut("http://d.example/"));
  tree.write("Sub\\e.url", shortcut("http://e.example/"));
  tree.write("c.url", shortcut("http://c.example/"));
  tree.write("Other\\f.url", shortcut("http://f.example/"));

  const std::vector<Entry> records = create_from(tree.path(), work);
  std::vector<std::string> expected_order;
  listing_order(tree.path(), "", expected_order);
  ASSERT_EQ(expected_order.size(), 6u);
  EXPECT_EQ(paths_of(records), expected_order);

  const std::set<Entry> got(records.begin(), records.end());
  const std::set<Entry> want = {
      {"http://a.example/", "a.url"},         {"http://b.example/", "Sub\\b.url"},
      {"http://d.example/", "Sub\\Deeper\\d.url"}, {"http://e.example/", "Sub\\e.url"},
      {"http://c.example/", "c.url"},         {"http://f.example/", "Other\\f.url"}};
  EXPECT_EQ(got, want);

  // A root with trailing separators gives the same relative paths.
  EXPECT_EQ(create_from(tree.path() + "\\", work), records);
  EXPECT_EQ(create_from(tree.path() + "\\\\", work), records);
#ifndef _WIN32
  EXPECT_EQ(create_from(tree.path() + "/", work), records);
#endif
}

TEST(FavoritesReader, EveryFileBecomesARecordWhateverItHolds) {
  TempDir tree, work;
  std::string long_url = "http://long.example/";
  while (long_url.size() < 1500) long_url += "abcdefghij";
  tree.write("long.url", shortcut(long_url));
  tree.write("exact.url", shortcut(long_url.substr(0, 999)));
  tree.write("notes.txt", "just some notes\r\n");
  tree.write("desktop.ini", "[.ShellClassInfo]\r\nLocalizedResourceName=Links\r\n");
  tree.write("nokey.url", "[InternetShortcut]\r\nIconIndex=1\r\n");
  tree.write("empty.url", "");
  tree.write("cased.url", "[internetSHORTCUT]\r\nurl=http://cased.example/\r\n");
  tree.write("text.txt", "[InternetShortcut]\nURL=http://in-a-text-file.example/\n");
  tree.write("later.url", "[Other]\r\nURL=http://wrong.example/\r\n[InternetShortcut]\r\n"
                          "URL=http://right.example/\r\n");

  const std::vector<Entry> records = create_from(tree.path(), work);
  const std::set<Entry> got(records.begin(), records.end());
  const std::set<Entry> want = {{long_url.substr(0, 999), "long.url"},
                                {long_url.substr(0, 999), "exact.url"},
                                {"", "notes.txt"},
                                {"", "desktop.ini"},
                                {"", "nokey.url"},
                                {"", "empty.url"},
                                {"http://cased.example/", "cased.url"},
                                {"http://in-a-text-file.example/", "text.txt"},
                                {"http://right.example/", "later.url"}};
  EXPECT_EQ(got, want);
}

// Only regular files are read, and of each no more than its first 1 MiB: a
// FIFO would block the walk for good, a link to /dev/zero would read without
// end, and a link to nothing is no bookmark.
TEST(FavoritesReader, OnlyTheHeadsOfRegularFilesAreRead) {
  TempDir tree, work;
  const std::string padding(50 << 20, ';');
  tree.write("plain.url", shortcut("http://plain.example/"));
  tree.write("huge.url", shortcut("http://huge.example/") + padding);
  tree.write("late.url", std::string(2 << 20, ';') + "\r\n" + shortcut("http://late.example/"));
  std::set<Entry> want = {{"http://plain.example/", "plain.url"},
                          {"http://huge.example/", "huge.url"},
                          {"", "late.url"}};
#ifndef _WIN32
  ASSERT_EQ(::mkfifo(tree.file("fifo.url").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", tree.file("zero.url").c_str()), 0);
  ASSERT_EQ(::symlink(tree.file("nowhere").c_str(), tree.file("dangling.url").c_str()), 0);
  ASSERT_EQ(::symlink(tree.file("plain.url").c_str(), tree.file("linked.url").c_str()), 0);
  want.insert({"http://plain.example/", "linked.url"});
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socket_path = tree.file("sock.url");
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socket_path.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  // A socket given as the source itself is no file either.
  EXPECT_TRUE(create_from(socket_path, work).empty());
#endif
  const std::vector<Entry> records = create_from(tree.path(), work);
#ifndef _WIN32
  ::close(fd);
#endif
  EXPECT_EQ(std::set<Entry>(records.begin(), records.end()), want);
  EXPECT_EQ(records.size(), want.size());
}

TEST(FavoritesReader, FileAsRootGivesOneRecordWithItsNameAndNoUrl) {
  TempDir tree, work;
  // Even a real shortcut yields no URL: the shortcut path is the file's path,
  // a backslash and its name, which does not exist.
  const std::string file = tree.write("Only.url", shortcut("http://only.example/"));
  const std::vector<Entry> records = walk_into(file, work);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], (Entry{"", "Only.url"}));
}

#ifndef _WIN32
TEST(FavoritesReader, NamesEndingInADotAreNotWalkedButSuchFilesAreRead) {
  TempDir tree, work;
  tree.write("dots.\\hidden.url", shortcut("http://hidden.example/"));
  tree.write("file.", shortcut("http://file-dot.example/"));
  tree.write(".dotfirst\\seen.url", shortcut("http://seen.example/"));
  const std::vector<Entry> records = create_from(tree.path(), work);
  const std::set<Entry> got(records.begin(), records.end());
  const std::set<Entry> want = {{"http://file-dot.example/", "file."},
                                {"http://seen.example/", ".dotfirst\\seen.url"}};
  EXPECT_EQ(got, want);
  // A root that ends in a dot is not walked at all.
  EXPECT_TRUE(create_from(tree.path() + "/.", work).empty());
}
#endif

// Directory paths live in 260-byte buffers: a folder whose search pattern
// ("\*.*" appended) would not fit is skipped with everything below it.
TEST(FavoritesReader, FolderWhosePatternWouldNotFitIsSkipped) {
  TempDir tree, work;
  const size_t root = tree.path().size();
  ASSERT_LT(root + 20, 255u);
  // fits: root + '\' + name is 255 characters, and its pattern 259.
  const std::string fits(255 - root - 1, 'f');
  const std::string too_long(256 - root - 1, 'g');
  std::error_code ec;
  fs::create_directories(tree.file(fits), ec);
  const bool made_fits = !ec;
  fs::create_directories(tree.file(too_long), ec);
  const bool made_too_long = !ec;
  if (!made_fits || !made_too_long) GTEST_SKIP() << "the file system refuses such long names";
  tree.write(fits + "\\a", shortcut("http://fits.example/"));
  tree.write(too_long + "\\b", shortcut("http://too-long.example/"));
  tree.write("top.url", shortcut("http://top.example/"));

  const std::vector<Entry> records = create_from(tree.path(), work);
  const std::set<Entry> got(records.begin(), records.end());
  const std::set<Entry> want = {{"http://fits.example/", fits + "\\a"},
                                {"http://top.example/", "top.url"}};
  EXPECT_EQ(got, want);
}

// Levels named "d", each with one shortcut: only the levels whose folder
// pattern fits in 260 bytes are read, however deep the tree goes. Each level
// lists its subfolder and its file in the platform's order, so only the set
// of records is fixed.
void expect_levels(const std::vector<Entry>& got, const std::string& root, size_t depth) {
  std::set<std::string> want_paths;
  std::string dir = root, relative;
  for (size_t level = 0; level <= depth && dir.size() + 4 <= 259; ++level) {
    want_paths.insert(relative + "f.url");
    dir += "\\d";
    relative += "d\\";
  }
  std::set<std::string> got_paths;
  for (const Entry& e : got) {
    got_paths.insert(e.path);
    const size_t level = std::count(e.path.begin(), e.path.end(), '\\');
    const std::string url = "http://level" + std::to_string(level) + ".example/";
    EXPECT_EQ(e.url, url) << e.path;
  }
  EXPECT_EQ(got.size(), want_paths.size());
  EXPECT_EQ(got_paths, want_paths);
}

TEST(FavoritesReader, DeepTreeIsReadDownToThePathLimitOnly) {
  TempDir tree, work;
  // As deep as the file system lets std::filesystem go, up to 400 levels.
  std::string relative;
  size_t depth = 0;
  tree.write("f.url", shortcut("http://level0.example/"));
  for (size_t level = 1; level <= 400; ++level) {
    const std::string next = relative + "d\\";
    std::error_code ec;
    fs::create_directory(tree.file(next), ec);
    if (ec) break;
    const std::string file = tree.write(next + "f.url", shortcut("http://level" +
                                                                 std::to_string(level) +
                                                                 ".example/"));
    if (!fs::exists(file, ec)) break;
    relative = next;
    depth = level;
  }
  ASSERT_GT(tree.path().size() + 2 * depth, 260u) << "the tree must go past the path limit";
  const std::vector<Entry> records = create_from(tree.path(), work);
  expect_levels(records, tree.path(), depth);
}

#ifndef _WIN32
// Removes a chain root/d/d/.../d (each holding f.url) of any depth, one
// level at a time, without ever naming a path longer than a few levels.
void remove_chain(const std::string& root) {
  const std::string top = root + "/d", deeper = root + "/d/d", parked = root + "/parked";
  for (;;) {
    struct stat st;
    if (::lstat(top.c_str(), &st) != 0) break;
    ::unlink((top + "/f.url").c_str());
    if (::lstat(deeper.c_str(), &st) == 0) {
      if (::rename(deeper.c_str(), parked.c_str()) != 0) break;
      ::rmdir(top.c_str());
      if (::rename(parked.c_str(), top.c_str()) != 0) break;
    } else {
      ::rmdir(top.c_str());
      break;
    }
  }
}

TEST(FavoritesReader, FiveThousandLevelsDeepEndsAtThePathLimit) {
  TempDir tree, work;
  constexpr int kDepth = 5000;
  tree.write("f.url", shortcut("http://level0.example/"));
  int dir = ::open(tree.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dir, 0);
  int made = 0;
  for (int level = 1; level <= kDepth; ++level) {
    if (::mkdirat(dir, "d", 0777) != 0) break;
    const int next = ::openat(dir, "d", O_RDONLY | O_DIRECTORY);
    ::close(dir);
    dir = next;
    if (dir < 0) break;
    const int file = ::openat(dir, "f.url", O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (file < 0) break;
    const std::string content = shortcut("http://level" + std::to_string(level) + ".example/");
    const bool written = ::write(file, content.data(), content.size()) ==
                         static_cast<ssize_t>(content.size());
    ::close(file);
    if (!written) break;
    made = level;
  }
  if (dir >= 0) ::close(dir);
  EXPECT_EQ(made, kDepth);

  const std::vector<Entry> records = create_from(tree.path(), work);
  remove_chain(tree.path());
  expect_levels(records, tree.path(), static_cast<size_t>(made));
  EXPECT_LT(records.size(), 130u);
}

TEST(FavoritesReader, SymlinkCycleEndsAtThePathLimit) {
  TempDir tree, work;
  tree.write("f.url", shortcut("http://cycle.example/"));
  // A name long enough for the path limit to end the cycle before the
  // system's own limit on links followed in one path (40 on Linux) does.
  const std::string link = "cycle-link";
  ASSERT_EQ(::symlink(tree.path().c_str(), tree.file(link).c_str()), 0);
  const std::vector<Entry> records = create_from(tree.path(), work);

  // Every level "cycle-link\cycle-link\..." whose pattern still fits holds
  // f.url again.
  std::set<Entry> want;
  std::string dir = tree.path(), relative;
  while (dir.size() + 4 <= 259) {
    want.insert({"http://cycle.example/", relative + "f.url"});
    dir += "\\" + link;
    relative += link + "\\";
  }
  ASSERT_GT(want.size(), 10u);
  ASSERT_LT(want.size(), 40u);
  EXPECT_EQ(records.size(), want.size());
  EXPECT_EQ(std::set<Entry>(records.begin(), records.end()), want);
}

TEST(FavoritesReader, UnreadableFolderIsSkippedWithEverythingBelowIt) {
  TempDir tree, work;
  tree.write("open.url", shortcut("http://open.example/"));
  tree.write("Locked\\inside.url", shortcut("http://inside.example/"));
  tree.write("Locked\\Below\\deeper.url", shortcut("http://deeper.example/"));
  const std::string locked = tree.file("Locked");
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  const bool still_listable = ::access(locked.c_str(), R_OK | X_OK) == 0;
  std::vector<Entry> records;
  if (!still_listable) records = create_from(tree.path(), work);
  ::chmod(locked.c_str(), 0755);
  if (still_listable) GTEST_SKIP() << "permissions do not bind this user (root)";
  EXPECT_EQ(records, (std::vector<Entry>{{"http://open.example/", "open.url"}}));
}

#endif

TEST(FavoritesReader, RootLongerThanThePathLimitGivesNoRecords) {
  TempDir tree, work;
  // A root of 300 characters: its own path does not fit the 260-byte buffer.
  // Two levels, so that no single name is longer than file systems allow.
  const std::string name =
      std::string(100, 'r') + "\\" + std::string(300 - tree.path().size() - 102, 's');
  const std::string root = tree.path() + "\\" + name;
  std::error_code ec;
  fs::create_directories(tree.file(name), ec);
  if (ec) GTEST_SKIP() << "the file system refuses a 300-character path";
  tree.write(name + "\\a.url", shortcut("http://a.example/"));
  ASSERT_TRUE(fs::exists(tree.file(name + "\\a.url")));
  EXPECT_TRUE(create_from(root, work).empty());
  EXPECT_TRUE(create_from(root + "\\", work).empty());
}

TEST(FavoritesReader, RealFavoritesFolders) {
  TempDir work;
  const std::vector<Entry> records = create_from(realworld("url"), work);
#ifdef _WIN32
  // Names come through the ANSI code page: letters that it cannot hold turn
  // into '?', such a file's shortcut cannot be opened (no URL), and such a
  // folder (the Cyrillic one under bj-Favorites) cannot be walked. With a
  // Cyrillic code page nothing is lost.
  ASSERT_TRUE(records.size() == 9u || records.size() == 10u) << testing::PrintToString(records);
#else
  ASSERT_EQ(records.size(), 10u) << testing::PrintToString(records);
#endif
  const std::set<Entry> got(records.begin(), records.end());
  // The files whose names are plain ASCII read the same everywhere.
  const std::vector<Entry> ascii = {
      {"http://go.microsoft.com/fwlink/p/?LinkId=255142", "sgorain-ICS3U\\Favorites\\Bing.url"},
      // UTF-16 desktop.ini: no [InternetShortcut] to be found.
      {"", "sgorain-ICS3U\\Favorites\\Desktop.ini"},
      {"http://go.microsoft.com/fwlink/?LinkId=121315",
       "sgorain-ICS3U\\Favorites\\Links\\WEB-SLIC.URL"},
      // [InternetShortcut] without a URL key.
      {"", "sgorain-ICS3U\\Favorites\\Links\\Suggested Sites (23).url"},
      {"", "lio68-Favorites\\Links\\desktop.ini"}};
  for (const Entry& e : ascii) EXPECT_EQ(got.count(e), 1u) << e;

  // Within each folder the listing order decides; across folders the walk is
  // depth-first, so each folder's records are contiguous.
  std::vector<std::string> expected_order;
  listing_order(realworld("url"), "", expected_order);
  EXPECT_EQ(paths_of(records), expected_order);

#ifndef _WIN32
  // The names with Cyrillic letters come as the file system's UTF-8 bytes.
  const std::set<Entry> cyrillic = {
      {"", "bj-Favorites\\Hard\\CNC Milling\\"
           "\xd0\xa7\xd0\x9f\xd0\xa3 \xd1\x81\xd1\x82\xd0\xb0\xd0\xbd\xd0\xbe\xd0\xba "
           "\xd1\x81\xd0\xb2\xd0\xbe\xd0\xb8\xd0\xbc\xd0\xb8 \xd1\x80\xd1\x83\xd0\xba\xd0\xb0"
           "\xd0\xbc\xd0\xb8. \xd0\xa7\xd0\xb0\xd1\x81\xd1\x82\xd1\x8c 1. \xd0\x92\xd0\xb2\xd0"
           "\xb5\xd0\xb4\xd0\xb5\xd0\xbd\xd0\xb8\xd0\xb5..url"},
      {"http://autocad-lessons.ru/3d-cherchenie/metrrezba/",
       "bj-Favorites\\Hard\\AutoCad\\\xd0\xa0\xd0\xb5\xd0\xb7\xd1\x8c\xd0\xb1\xd0\xb0.url"},
      {"http://www.yandex.ru/?win=162&clid=2101163",
       "lio68-Favorites\\Links\\\xd0\xaf\xd0\xbd\xd0\xb4\xd0\xb5\xd0\xba\xd1\x81.url"},
      // The [InternetShortcut] URL holds Windows-1251 bytes, kept as they are.
      {"http://\xf0\xe5\xf8\xe5\xed\xee.\xf0\xf4/node/241",
       "lio68-Favorites\\Links\\Vagrant \xd0\xb8 chef  \xd1\x80\xd0\xb5\xd1\x88\xd0\xb5\xd0\xbd"
       "\xd0\xbe.\xd1\x80\xd1\x84.url"}};
  for (const Entry& e : cyrillic) EXPECT_EQ(got.count(e), 1u) << e;
#endif
}

}  // namespace
