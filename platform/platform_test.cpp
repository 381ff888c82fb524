// The contract of the platform interface. The same tests run against the
// POSIX backend natively and against the Win32 backend under wine64, so each
// expectation here is one that both backends must meet.
#include "platform/platform.h"
#include "platform/fault_injection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::DirEntry;
using platform::DirListing;
using platform::File;
using platform::FileAccess;
using platform::RegistryRoot;

// The path with every separator written as the program writes it.
std::string backslashed(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// Sets an environment variable for the rest of the process. putenv keeps
// the string itself, so every entry lives as long as the process.
void set_env(const std::string& name, const std::string& value) {
  static std::list<std::string> entries;
  entries.push_back(name + "=" + value);
  putenv(&entries.back()[0]);
}

std::string read_all(const std::string& path) {
  File file = platform::open_file(path, FileAccess::read);
  std::string content;
  if (!file.is_open()) return content;
  char buffer[4096];
  size_t got;
  while ((got = file.read(buffer, sizeof buffer)) > 0) content.append(buffer, got);
  return content;
}

std::vector<DirEntry> list(const std::string& pattern, bool* opened = nullptr) {
  std::vector<DirEntry> entries;
  DirListing listing;
  const bool ok = listing.open(pattern);
  if (opened) *opened = ok;
  DirEntry entry;
  while (ok && listing.next(entry)) entries.push_back(entry);
  return entries;
}

std::set<std::string> names(const std::vector<DirEntry>& entries) {
  std::set<std::string> out;
  for (const DirEntry& entry : entries) out.insert(entry.name);
  return out;
}

// ---------------------------------------------------------------------------
// Files

TEST(FileModes, CreateTruncateWritesAndTruncatesAgain) {
  TempDir dir;
  const std::string path = dir.file("a.bin");
  {
    File file = platform::open_file(path, FileAccess::create_truncate);
    ASSERT_TRUE(file.is_open());
    EXPECT_TRUE(file.write("hello world", 11));
    EXPECT_EQ(file.size(), 11);
  }
  EXPECT_EQ(TempDir::read(path), "hello world");
  {
    File file = platform::open_file(path, FileAccess::create_truncate);
    ASSERT_TRUE(file.is_open());
    EXPECT_EQ(file.size(), 0);
  }
  EXPECT_EQ(TempDir::read(path), "");
}

TEST(FileModes, AppendCreatesAndAlwaysWritesAtTheEnd) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
  {
    File file = platform::open_file(path, FileAccess::append);
    ASSERT_TRUE(file.is_open());
    EXPECT_TRUE(file.write("one\r\n", 5));
  }
  {
    File file = platform::open_file(path, FileAccess::append);
    ASSERT_TRUE(file.is_open());
    EXPECT_TRUE(file.seek(0));
    EXPECT_TRUE(file.write("two\r\n", 5));
  }
  EXPECT_EQ(TempDir::read(path), "one\r\ntwo\r\n");
}

TEST(FileModes, SharedHandlesWriteTheirOwnRecords) {
  TempDir dir;
  const std::string path = dir.write("records.bin", "0000111122223333");
  File first = platform::open_file(path, FileAccess::read_write_shared);
  File second = platform::open_file(path, FileAccess::read_write_shared);
  ASSERT_TRUE(first.is_open());
  ASSERT_TRUE(second.is_open());
  // A reader may join while both writers hold the file.
  File reader = platform::open_file(path, FileAccess::read);
  ASSERT_TRUE(reader.is_open());

  char record[4];
  ASSERT_TRUE(first.seek(4));
  ASSERT_EQ(first.read(record, 4), 4u);
  EXPECT_EQ(std::string(record, 4), "1111");
  // Rewrite the record just read in place, as a worker does.
  ASSERT_TRUE(first.seek_relative(-4));
  EXPECT_TRUE(first.write("AAAA", 4));
  ASSERT_TRUE(second.seek(12));
  EXPECT_TRUE(second.write("BBBB", 4));
  EXPECT_EQ(first.size(), 16);
  first.close();
  second.close();
  EXPECT_FALSE(first.is_open());
  reader.close();
  EXPECT_EQ(TempDir::read(path), "0000AAAA2222BBBB");
}

TEST(FileModes, ReadStopsAtTheEndAndSeekMovesTheReader) {
  TempDir dir;
  const std::string path = dir.write("data.bin", "abcdefghij");
  File file = platform::open_file(path, FileAccess::read);
  ASSERT_TRUE(file.is_open());
  EXPECT_EQ(file.size(), 10);
  char buffer[32] = {0};
  EXPECT_EQ(file.read(buffer, sizeof buffer), 10u);
  EXPECT_EQ(std::string(buffer, 10), "abcdefghij");
  EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
  ASSERT_TRUE(file.seek(7));
  EXPECT_EQ(file.read(buffer, 2), 2u);
  EXPECT_EQ(std::string(buffer, 2), "hi");
  EXPECT_TRUE(file.seek_relative(-5));
  EXPECT_EQ(file.read(buffer, 1), 1u);
  EXPECT_EQ(buffer[0], 'e');
  EXPECT_FALSE(file.seek(-1));
  // Reading a handle opened for reading only never writes.
  EXPECT_FALSE(file.write("x", 1));
}

TEST(FileModes, OffsetsBeyondFourGigabytes) {
  TempDir dir;
  const std::string path = dir.file("large.bin");
  const int64_t far = (int64_t{1} << 32) + 123;
  {
    File file = platform::open_file(path, FileAccess::create_truncate);
    ASSERT_TRUE(file.is_open());
    ASSERT_TRUE(file.seek(far));
    ASSERT_TRUE(file.write("Z", 1));
    EXPECT_EQ(file.size(), far + 1);
  }
  File file = platform::open_file(path, FileAccess::read);
  ASSERT_TRUE(file.is_open());
  ASSERT_TRUE(file.seek(far));
  char c = 0;
  EXPECT_EQ(file.read(&c, 1), 1u);
  EXPECT_EQ(c, 'Z');
}

TEST(FileModes, MissingFilesAndDirectoriesDoNotOpenForReading) {
  TempDir dir;
  dir.write("sub/inner.txt", "x");
  EXPECT_FALSE(platform::open_file(dir.file("missing.txt"), FileAccess::read).is_open());
  EXPECT_FALSE(
      platform::open_file(dir.file("missing.txt"), FileAccess::read_write_shared).is_open());
  EXPECT_FALSE(platform::open_file(dir.file("sub"), FileAccess::read).is_open());
  EXPECT_FALSE(platform::open_file(dir.path(), FileAccess::read).is_open());
  EXPECT_FALSE(platform::file_readable(dir.file("sub")));
  EXPECT_FALSE(platform::file_readable(dir.file("missing.txt")));
  EXPECT_TRUE(platform::file_readable(dir.file("sub/inner.txt")));
  // A missing folder in the path makes creation fail too.
  EXPECT_FALSE(
      platform::open_file(dir.file("nowhere/new.txt"), FileAccess::create_truncate).is_open());
}

TEST(FileModes, BackslashPathsReachTheFile) {
  TempDir dir;
  dir.write("sub/deep/note.txt", "backslashes");
  const std::string path = backslashed(dir.path()) + "\\sub\\deep\\note.txt";
  EXPECT_TRUE(platform::file_readable(path));
  EXPECT_EQ(read_all(path), "backslashes");
  const platform::FileAttributes attributes = platform::file_attributes(
      backslashed(dir.path()) + "\\sub\\deep");
  EXPECT_TRUE(attributes.exists);
  EXPECT_TRUE(attributes.is_directory);
}

TEST(FileModes, MovingAFileMovesItsHandle) {
  TempDir dir;
  const std::string path = dir.file("moved.txt");
  File original = platform::open_file(path, FileAccess::create_truncate);
  ASSERT_TRUE(original.is_open());
  File moved(std::move(original));
  EXPECT_FALSE(original.is_open());
  ASSERT_TRUE(moved.is_open());
  EXPECT_TRUE(moved.write("ab", 2));
  File assigned;
  assigned = std::move(moved);
  EXPECT_FALSE(moved.is_open());
  EXPECT_TRUE(assigned.write("cd", 2));
  assigned.close();
  EXPECT_EQ(TempDir::read(path), "abcd");
}

TEST(FileOperations, AttributesDirectoriesDeletionAndCopies) {
  TempDir dir;
  const std::string file = dir.write("a.txt", "first");
  EXPECT_TRUE(platform::file_attributes(file).exists);
  EXPECT_FALSE(platform::file_attributes(file).is_directory);
  EXPECT_FALSE(platform::file_attributes(dir.file("none")).exists);

  const std::string sub = dir.file("made");
  EXPECT_TRUE(platform::create_directory(sub));
  EXPECT_TRUE(platform::file_attributes(sub).is_directory);
  EXPECT_FALSE(platform::create_directory(sub));                    // already there
  EXPECT_FALSE(platform::create_directory(dir.file("x/y/z")));      // one level only

  const std::string copy = dir.write("b.txt", "old content that is longer");
  EXPECT_TRUE(platform::copy_file(file, copy));
  EXPECT_EQ(TempDir::read(copy), "first");
  EXPECT_FALSE(platform::copy_file(dir.file("none"), dir.file("c.txt")));
  EXPECT_FALSE(platform::file_attributes(dir.file("c.txt")).exists);
  // A file copied onto itself keeps its content.
  platform::copy_file(file, file);
  EXPECT_EQ(TempDir::read(file), "first");

  EXPECT_TRUE(platform::delete_file(copy));
  EXPECT_FALSE(platform::file_attributes(copy).exists);
  EXPECT_FALSE(platform::delete_file(copy));
  EXPECT_FALSE(platform::delete_file(sub));  // a directory is not a file
  EXPECT_TRUE(platform::file_attributes(sub).exists);
}

// ---------------------------------------------------------------------------
// Directory listing

TEST(DirListingTest, StarDotStarListsEverythingWithDotEntries) {
  TempDir dir;
  dir.write("one.url", "");
  dir.write("noext", "");
  dir.write("Sub/inner.url", "");
  std::vector<DirEntry> entries = list(backslashed(dir.path()) + "\\*.*");
  EXPECT_EQ(names(entries), (std::set<std::string>{".", "..", "one.url", "noext", "Sub"}));
  EXPECT_EQ(entries.size(), 5u);
  for (const DirEntry& entry : entries) {
    const bool folder = entry.name == "." || entry.name == ".." || entry.name == "Sub";
    EXPECT_EQ(entry.is_directory, folder) << entry.name;
  }
  EXPECT_EQ(names(list(dir.path() + "/*")), names(entries));
}

TEST(DirListingTest, AFilesOwnPathYieldsThatFile) {
  TempDir dir;
  dir.write("Sub/Only.url", "");
  std::vector<DirEntry> entries = list(backslashed(dir.path()) + "\\Sub\\Only.url");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "Only.url");
  EXPECT_FALSE(entries[0].is_directory);

  entries = list(backslashed(dir.path()) + "\\Sub");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "Sub");
  EXPECT_TRUE(entries[0].is_directory);
}

TEST(DirListingTest, WildcardsMatchWithoutRegardToCase) {
  TempDir dir;
  dir.write("abc.default-release/x", "");
  dir.write("xyz.DEFAULT/x", "");
  dir.write("other/x", "");
  dir.write("Report.URL", "");
  dir.write("notes.txt", "");
  EXPECT_EQ(names(list(backslashed(dir.path()) + "\\*default*")),
            (std::set<std::string>{"abc.default-release", "xyz.DEFAULT"}));
  EXPECT_EQ(names(list(backslashed(dir.path()) + "\\*.url")),
            (std::set<std::string>{"Report.URL"}));
  EXPECT_EQ(names(list(backslashed(dir.path()) + "\\n?tes.*")),
            (std::set<std::string>{"notes.txt"}));
}

TEST(DirListingTest, NothingToListFails) {
  TempDir dir;
  dir.write("a.txt", "");
  bool opened = true;
  EXPECT_TRUE(list(dir.file("missing\\*.*"), &opened).empty());
  EXPECT_FALSE(opened);
  list(dir.file("*.none"), &opened);
  EXPECT_FALSE(opened);
  list(dir.file("missing.txt"), &opened);
  EXPECT_FALSE(opened);
  DirListing listing;
  DirEntry entry;
  EXPECT_FALSE(listing.next(entry));  // never opened
}

TEST(DirListingTest, UnreadableFolderFails) {
  TempDir dir;
  dir.write("locked/a.txt", "");
  const fs::path locked = fs::path(dir.file("locked"));
  std::error_code ec;
  fs::permissions(locked, fs::perms::none, ec);
  bool still_readable = true;
  {
    std::error_code list_ec;
    fs::directory_iterator probe(locked, list_ec);
    still_readable = !list_ec;
  }
  if (still_readable) {
    fs::permissions(locked, fs::perms::owner_all, ec);
    GTEST_SKIP() << "this user can read a folder without permissions";
  }
  bool opened = true;
  list(dir.file("locked\\*.*"), &opened);
  fs::permissions(locked, fs::perms::owner_all, ec);
  EXPECT_FALSE(opened);
}

TEST(DirListingTest, MovingAListingKeepsItsPlace) {
  TempDir dir;
  dir.write("a.txt", "");
  dir.write("b.txt", "");
  DirListing first;
  ASSERT_TRUE(first.open(dir.file("*.txt")));
  DirEntry entry;
  ASSERT_TRUE(first.next(entry));
  std::set<std::string> seen{entry.name};
  DirListing second(std::move(first));
  EXPECT_FALSE(first.next(entry));
  ASSERT_TRUE(second.next(entry));
  seen.insert(entry.name);
  EXPECT_FALSE(second.next(entry));
  EXPECT_EQ(seen, (std::set<std::string>{"a.txt", "b.txt"}));
}

// ---------------------------------------------------------------------------
// Private-profile files

TEST(Profile, ReadsWithoutRegardToCaseAndTrimsBlanks) {
  TempDir dir;
  const std::string ini = dir.write(
      "up.ini", "[General]\r\nUC=7\r\n  Spaced  =  some value  \r\n[Other]\r\nUC=99\r\n");
  EXPECT_EQ(platform::profile_read(ini, "general", "uc", "none", 100), "7");
  EXPECT_EQ(platform::profile_read(ini, "GENERAL", "spaced", "none", 100), "some value");
  EXPECT_EQ(platform::profile_read(ini, "other", "UC", "none", 100), "99");
  EXPECT_EQ(platform::profile_read(ini, "General", "missing", "none", 100), "none");
  EXPECT_EQ(platform::profile_read(ini, "Missing", "UC", "none", 100), "none");
  EXPECT_EQ(platform::profile_read(dir.file("no.ini"), "General", "UC", "dflt", 100), "dflt");
  EXPECT_EQ(platform::profile_read_int(ini, "general", "UC", 5), 7);
  EXPECT_EQ(platform::profile_read_int(dir.file("no.ini"), "General", "UC", 5), 5);
}

TEST(Profile, LineEndsQuotesAndLimits) {
  TempDir dir;
  const std::string ini = dir.write(
      "link.url",
      "[InternetShortcut]\nURL=http://example.com/a\nQ=\"quoted value\"\n"
      "S='single'\nHalf=\"open\nLong=abcdefghij");
  EXPECT_EQ(platform::profile_read(ini, "InternetShortcut", "URL", "", 1000),
            "http://example.com/a");
  EXPECT_EQ(platform::profile_read(ini, "InternetShortcut", "Q", "", 1000), "quoted value");
  EXPECT_EQ(platform::profile_read(ini, "InternetShortcut", "S", "", 1000), "single");
  EXPECT_EQ(platform::profile_read(ini, "InternetShortcut", "Half", "", 1000), "\"open");
  EXPECT_EQ(platform::profile_read(ini, "InternetShortcut", "Long", "", 1000), "abcdefghij");
  EXPECT_EQ(platform::profile_read(ini, "InternetShortcut", "Long", "", 5), "abcd");
  EXPECT_EQ(platform::profile_read(ini, "InternetShortcut", "none", "defaultvalue", 5), "defa");
}

TEST(Profile, IntegersReadLikeTheWindowsFunction) {
  TempDir dir;
  const std::string ini =
      dir.write("n.ini", "[N]\r\nplain=42\r\nneg=-5\r\ntail=12abc\r\nword=abc\r\nempty=\r\n");
  EXPECT_EQ(platform::profile_read_int(ini, "N", "plain", 1), 42);
  EXPECT_EQ(platform::profile_read_int(ini, "N", "neg", 1), -5);
  EXPECT_EQ(platform::profile_read_int(ini, "N", "tail", 1), 12);
  EXPECT_EQ(platform::profile_read_int(ini, "N", "word", 1), 0);
  EXPECT_EQ(platform::profile_read_int(ini, "N", "empty", 1), 1);
  EXPECT_EQ(platform::profile_read_int(ini, "N", "missing", 1), 1);
}

TEST(Profile, NewFileHasExactlyTheExpectedBytes) {
  TempDir dir;
  const std::string ini = dir.file("up.ini");
  ASSERT_TRUE(platform::profile_write(ini, "General", "UC", "4"));
  EXPECT_EQ(TempDir::read(ini), "[General]\r\nUC=4\r\n");
  ASSERT_TRUE(platform::profile_write(ini, "general", "uc", "3"));
  EXPECT_EQ(TempDir::read(ini), "[General]\r\nUC=3\r\n");
  EXPECT_EQ(platform::profile_read_int(ini, "General", "UC", 5), 3);
  ASSERT_TRUE(platform::profile_write(ini, "Other", "Key", "Value"));
  EXPECT_EQ(TempDir::read(ini), "[General]\r\nUC=3\r\n[Other]\r\nKey=Value\r\n");
}

TEST(Profile, WriteKeepsEveryOtherLine) {
  TempDir dir;
  const std::string before =
      "[One]\r\n;comment line\r\na=1\r\nb=2\r\n[Two]\r\nc=3\r\nd=4\r\n[Three]\r\ne=5\r\n";
  const std::string ini = dir.write("keep.ini", before);
  ASSERT_TRUE(platform::profile_write(ini, "TWO", "C", "changed"));
  EXPECT_EQ(TempDir::read(ini),
            "[One]\r\n;comment line\r\na=1\r\nb=2\r\n[Two]\r\nc=changed\r\nd=4\r\n"
            "[Three]\r\ne=5\r\n");
  ASSERT_TRUE(platform::profile_write(ini, "one", "new", "x"));
  EXPECT_EQ(TempDir::read(ini),
            "[One]\r\n;comment line\r\na=1\r\nb=2\r\nnew=x\r\n[Two]\r\nc=changed\r\nd=4\r\n"
            "[Three]\r\ne=5\r\n");
  ASSERT_TRUE(platform::profile_write(ini, "Four", "f", "6"));
  EXPECT_EQ(TempDir::read(ini),
            "[One]\r\n;comment line\r\na=1\r\nb=2\r\nnew=x\r\n[Two]\r\nc=changed\r\nd=4\r\n"
            "[Three]\r\ne=5\r\n[Four]\r\nf=6\r\n");
}

TEST(Profile, WriteIntoAMissingFolderFails) {
  TempDir dir;
  EXPECT_FALSE(platform::profile_write(dir.file("nowhere/up.ini"), "General", "UC", "1"));
  EXPECT_FALSE(platform::file_attributes(dir.file("nowhere")).exists);
}

TEST(Profile, ConcurrentWritersKeepEveryKey) {
  TempDir dir;
  const std::string ini = dir.file("shared.ini");
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([t, &ini] {
      for (int k = 0; k < 8; ++k)
        platform::profile_write(ini, "S" + std::to_string(t), "k" + std::to_string(k),
                                std::to_string(t * 100 + k));
    });
  }
  for (std::thread& writer : writers) writer.join();
  for (int t = 0; t < 4; ++t)
    for (int k = 0; k < 8; ++k)
      EXPECT_EQ(platform::profile_read_int(ini, "S" + std::to_string(t), "k" + std::to_string(k),
                                           -1),
                t * 100 + k);
}

// ---------------------------------------------------------------------------
// Registry

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The file-backed store of the POSIX backend goes to this test's folder;
    // the Windows backend ignores the variable.
    set_env("LORVANE_REGISTRY_DIR", store_.path());
    platform::registry_delete_key(RegistryRoot::current_user, kKey);
  }
  void TearDown() override { platform::registry_delete_key(RegistryRoot::current_user, kKey); }

  static constexpr const char* kKey = "Software\\LorvaneTest";
  TempDir store_;
};

TEST_F(RegistryTest, RoundTripOfStringValues) {
  std::string out;
  EXPECT_FALSE(platform::registry_key_opens(RegistryRoot::current_user, kKey));
  EXPECT_FALSE(platform::registry_read_string(RegistryRoot::current_user, kKey, "Name", out));

  ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user, kKey, "Name", "Lorvane"));
  ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user, kKey, "Padded",
                                              "  blanks at both ends  "));
  ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user, kKey, "",
                                              "the default value"));
  EXPECT_TRUE(platform::registry_key_opens(RegistryRoot::current_user, kKey));
  EXPECT_TRUE(platform::registry_key_opens(RegistryRoot::current_user, "software\\lorvanetest"));

  ASSERT_TRUE(platform::registry_read_string(RegistryRoot::current_user, kKey, "name", out));
  EXPECT_EQ(out, "Lorvane");
  ASSERT_TRUE(platform::registry_read_string(RegistryRoot::current_user, kKey, "Padded", out));
  EXPECT_EQ(out, "  blanks at both ends  ");
  ASSERT_TRUE(platform::registry_read_string(RegistryRoot::current_user, kKey, "", out));
  EXPECT_EQ(out, "the default value");
  EXPECT_FALSE(platform::registry_read_string(RegistryRoot::current_user, kKey, "Other", out));

  ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user, kKey, "Name", "Again"));
  ASSERT_TRUE(platform::registry_read_string(RegistryRoot::current_user, kKey, "Name", out));
  EXPECT_EQ(out, "Again");
}

TEST_F(RegistryTest, DeletingAKeyTakesEverythingBelowIt) {
  const std::string sub = std::string(kKey) + "\\Sub\\Deeper";
  ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user, sub, "v", "1"));
  // Keys on the way down exist as well.
  EXPECT_TRUE(platform::registry_key_opens(RegistryRoot::current_user, kKey));
  EXPECT_TRUE(
      platform::registry_key_opens(RegistryRoot::current_user, std::string(kKey) + "\\Sub"));
  // A sibling whose name only begins the same way is another key.
  ASSERT_TRUE(platform::registry_write_string(RegistryRoot::current_user,
                                              std::string(kKey) + "Sibling", "v", "2"));

  EXPECT_TRUE(platform::registry_delete_key(RegistryRoot::current_user, kKey));
  EXPECT_FALSE(platform::registry_key_opens(RegistryRoot::current_user, kKey));
  EXPECT_FALSE(platform::registry_key_opens(RegistryRoot::current_user, sub));
  std::string out;
  EXPECT_FALSE(platform::registry_read_string(RegistryRoot::current_user, sub, "v", out));
  EXPECT_TRUE(platform::registry_read_string(RegistryRoot::current_user,
                                             std::string(kKey) + "Sibling", "v", out));
  EXPECT_EQ(out, "2");
  EXPECT_TRUE(platform::registry_delete_key(RegistryRoot::current_user,
                                            std::string(kKey) + "Sibling"));
  EXPECT_FALSE(platform::registry_delete_key(RegistryRoot::current_user, kKey));
}

// ---------------------------------------------------------------------------
// Process and environment

TEST(Environment, ExpandsKnownVariablesAndKeepsUnknownOnes) {
  set_env("LVN_TEST_VAR", "abc");
  EXPECT_EQ(platform::expand_environment("%LVN_TEST_VAR%\\Favorites"), "abc\\Favorites");
  EXPECT_EQ(platform::expand_environment("x%LVN_TEST_VAR%%LVN_TEST_VAR%y"), "xabcabcy");
  EXPECT_EQ(platform::expand_environment("%lvn_test_var%"), "abc");
  EXPECT_EQ(platform::expand_environment("%LVN_NO_SUCH_VARIABLE%\\x"),
            "%LVN_NO_SUCH_VARIABLE%\\x");
  EXPECT_EQ(platform::expand_environment("100% sure"), "100% sure");
  EXPECT_EQ(platform::expand_environment("%NOPE%LVN_TEST_VAR%"), "%NOPE%LVN_TEST_VAR%");
  EXPECT_EQ(platform::expand_environment("plain text"), "plain text");
  EXPECT_EQ(platform::expand_environment(""), "");
}

TEST(Environment, ModulePathAndCurrentDirectory) {
  const std::string module = platform::module_path();
  ASSERT_FALSE(module.empty());
  EXPECT_TRUE(platform::file_readable(module));

  TempDir dir;
  dir.write("marker.txt", "here");
  const std::string saved = platform::current_directory();
  ASSERT_FALSE(saved.empty());
  ASSERT_TRUE(platform::set_current_directory(dir.path()));
  EXPECT_EQ(read_all(".\\marker.txt"), "here");
  EXPECT_TRUE(platform::file_readable("marker.txt"));
  EXPECT_TRUE(platform::file_attributes(platform::current_directory() + "\\marker.txt").exists);
  EXPECT_TRUE(platform::set_current_directory(saved));
  EXPECT_FALSE(platform::set_current_directory(dir.file("missing")));
  EXPECT_EQ(platform::current_directory(), saved);
}

TEST(Environment, FoldersAreNamed) {
  EXPECT_FALSE(platform::desktop_folder().empty());
  std::string firefox = platform::firefox_profiles_folder();
  std::transform(firefox.begin(), firefox.end(), firefox.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  EXPECT_NE(firefox.find("firefox"), std::string::npos) << firefox;
}

TEST(Environment, SleepWaitsAtLeastTheTimeAsked) {
  const auto start = std::chrono::steady_clock::now();
  platform::sleep_ms(50);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
}

// ---------------------------------------------------------------------------
// Messages and app commands

struct SeenMessage {
  std::string text;
  std::string caption;
  platform::MessageIcon icon = platform::MessageIcon::information;
  int count = 0;
};
SeenMessage seen_message;

void record_message(const std::string& text, const std::string& caption,
                    platform::MessageIcon icon) {
  seen_message.text = text;
  seen_message.caption = caption;
  seen_message.icon = icon;
  ++seen_message.count;
}

TEST(Messages, HookReceivesMessageBoxes) {
  seen_message = SeenMessage();
  platform::set_message_hook(&record_message);
  platform::message_box(nullptr, "A Window Class cannot be registered !\r\n", "Lorvane",
                        platform::MessageIcon::error);
  platform::message_box(nullptr, "second", "Lorvane!", platform::MessageIcon::warning);
  platform::set_message_hook(nullptr);
  EXPECT_EQ(seen_message.count, 2);
  EXPECT_EQ(seen_message.text, "second");
  EXPECT_EQ(seen_message.caption, "Lorvane!");
  EXPECT_EQ(seen_message.icon, platform::MessageIcon::warning);
}

std::vector<std::pair<void*, unsigned>> seen_commands;

void record_command(void* window, unsigned command) {
  seen_commands.emplace_back(window, command);
}

TEST(Messages, AppCommandsGoToTheSink) {
  seen_commands.clear();
  int window_stand_in = 0;
  platform::set_app_command_sink(&record_command);
  platform::post_app_command(&window_stand_in, 9);
  platform::post_app_command(nullptr, 1);
  platform::set_app_command_sink(nullptr);
  // Without a sink and without a window nothing happens.
  platform::post_app_command(nullptr, 5);
  ASSERT_EQ(seen_commands.size(), 2u);
  EXPECT_EQ(seen_commands[0].first, &window_stand_in);
  EXPECT_EQ(seen_commands[0].second, 9u);
  EXPECT_EQ(seen_commands[1].first, nullptr);
  EXPECT_EQ(seen_commands[1].second, 1u);
}

// ---------------------------------------------------------------------------
// Paths of 260 characters or more

// A chain of folders below a root. At the end every folder is renamed to one
// letter, from the top down, so that the temporary folder's removal
// (std::filesystem, limited to 260 characters on Windows) reaches each level.
struct FolderChain {
  std::string root;
  std::vector<std::string> names;
  ~FolderChain() {
    fs::path current = root;
    for (const std::string& name : names) {
      const std::string short_name = name.substr(0, 1);
      std::error_code ec;
      fs::rename(current / name, current / short_name, ec);
      if (ec) return;
      current /= short_name;
    }
  }
};

// The Windows ANSI file and profile functions stop short of 260 characters;
// a bookmark tree can hold longer paths, and each backend must still read,
// write, list and delete there.
TEST(LongPaths, ProfilesFilesAndListingsBeyondThe260CharacterLimit) {
  TempDir dir;
  FolderChain chain{dir.path(), {}};
  std::string folder = backslashed(dir.path());
  for (char letter = 'a'; folder.size() < 390; ++letter) {
    const std::string name(47, letter);
    folder += "\\" + name;
    ASSERT_TRUE(platform::create_directory(folder)) << folder.size() << " characters";
    chain.names.push_back(name);
  }
  EXPECT_TRUE(platform::file_attributes(folder).is_directory);
  const std::string shortcut = folder + "\\link.url";
  ASSERT_GE(shortcut.size(), 400u);

  // Profiles: created when missing, matched without case, read back whole.
  EXPECT_EQ(platform::profile_read(shortcut, "InternetShortcut", "URL", "none", 100), "none");
  EXPECT_TRUE(platform::profile_write(shortcut, "InternetShortcut", "URL", "http://long.example/"));
  EXPECT_TRUE(platform::profile_write(shortcut, "DEFAULT", "BASEURL", "http://long.example/"));
  EXPECT_TRUE(platform::profile_write(shortcut, "internetshortcut", "url", "http://moved.example/"));
  EXPECT_TRUE(platform::profile_write(shortcut, "Counts", "n", "42"));
  EXPECT_EQ(platform::profile_read(shortcut, "INTERNETSHORTCUT", "Url", "", 1000),
            "http://moved.example/");
  EXPECT_EQ(platform::profile_read(shortcut, "InternetShortcut", "URL", "", 8), "http://");
  EXPECT_EQ(platform::profile_read(shortcut, "DEFAULT", "missing", "dflt", 100), "dflt");
  EXPECT_EQ(platform::profile_read_int(shortcut, "counts", "N", 7), 42);
  EXPECT_EQ(platform::profile_read_int(shortcut, "Counts", "none", 7), 7);
  EXPECT_EQ(read_all(shortcut),
            "[InternetShortcut]\r\nURL=http://moved.example/\r\n"
            "[DEFAULT]\r\nBASEURL=http://long.example/\r\n"
            "[Counts]\r\nn=42\r\n");
  // ".." in a long path names the same file.
  const size_t last = folder.rfind('\\');
  const std::string roundabout = folder + "\\..\\" + folder.substr(last + 1) + "\\link.url";
  EXPECT_EQ(platform::profile_read(roundabout, "InternetShortcut", "URL", "", 100),
            "http://moved.example/");
  EXPECT_FALSE(platform::profile_write(folder + "\\missing\\x.url", "S", "k", "v"));

  // Files: created, read, copied and deleted.
  const std::string data = folder + "\\data.bin";
  {
    File file = platform::open_file(data, FileAccess::create_truncate);
    ASSERT_TRUE(file.is_open());
    EXPECT_TRUE(file.write("abc", 3));
  }
  EXPECT_EQ(read_all(data), "abc");
  EXPECT_TRUE(platform::file_readable(data));
  EXPECT_TRUE(platform::file_attributes(data).exists);
  EXPECT_TRUE(platform::copy_file(data, folder + "\\copy.bin"));
  EXPECT_EQ(read_all(folder + "\\copy.bin"), "abc");

  // Listing: no temporary file left behind by the profile writes.
  EXPECT_EQ(names(list(folder + "\\*.*")),
            (std::set<std::string>{".", "..", "link.url", "data.bin", "copy.bin"}));
  EXPECT_EQ(names(list(folder + "\\*.URL")), (std::set<std::string>{"link.url"}));

  EXPECT_TRUE(platform::delete_file(data));
  EXPECT_TRUE(platform::delete_file(folder + "\\copy.bin"));
  EXPECT_FALSE(platform::file_attributes(data).exists);
  EXPECT_FALSE(platform::file_readable(data));
  EXPECT_FALSE(platform::delete_file(data));
  EXPECT_EQ(names(list(folder + "\\*.*")), (std::set<std::string>{".", "..", "link.url"}));
}

}  // namespace

// The fault layer that the data-safety tests rely on must bite the same way
// on both backends: a failing write reports failure and stores only what the
// plan lets through, a full disk cuts every later write, and a failed
// rename leaves both files as they were.
TEST(FaultInjection, WritesAndRenamesFailAsPlanned) {
  TempDir dir;
  const std::string path = dir.file("f.bin");
  struct Case {
    platform::FaultPlan plan;
    std::vector<bool> results;  // of three writes of "abcd"
    std::string stored;
  };
  const Case cases[] = {
      {{2, 0, -1, 0}, {true, false, true}, "abcdabcd"},
      {{2, 3, -1, 0}, {true, false, true}, "abcdabcabcd"},
      {{0, 0, 6, 0}, {true, false, false}, "abcdab"},
  };
  for (const Case& c : cases) {
    File file = platform::open_file(path, FileAccess::create_truncate);
    ASSERT_TRUE(file.is_open());
    std::vector<bool> results;
    {
      platform::ScopedFaultPlan faults(c.plan);
      for (int i = 0; i < 3; ++i) results.push_back(file.write("abcd", 4));
      EXPECT_EQ(platform::faults::writes_seen(), 3u);
    }
    file.close();
    EXPECT_EQ(results, c.results);
    EXPECT_EQ(TempDir::read(path), c.stored);
  }

  const std::string other = dir.write("other.txt", "new");
  {
    platform::ScopedFaultPlan faults({0, 0, -1, 1});
    EXPECT_FALSE(platform::replace_file(other, path));
  }
  EXPECT_EQ(TempDir::read(other), "new");
  EXPECT_TRUE(platform::replace_file(other, path));
  EXPECT_EQ(TempDir::read(path), "new");
  EXPECT_FALSE(platform::file_attributes(other).exists);
}

// Temporary files are recognisable by name, and a later save removes the
// ones left behind without touching anything else in the folder.
TEST(TemporaryFiles, NamedApartAndRemovedWhenStale) {
  TempDir dir;
  const std::string target = dir.file("Bookmarks.html");
  const std::string a = platform::temporary_path_beside(target);
  const std::string b = platform::temporary_path_beside(target);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.substr(0, dir.path().size()), dir.path());
  for (const std::string& temp : {a, b}) {
    const std::string name = temp.substr(temp.find_last_of("\\/") + 1);
    EXPECT_TRUE(platform::is_temporary_name(name)) << name;
    dir.write(name, "half");
  }
  EXPECT_FALSE(platform::is_temporary_name("news.url"));
  dir.write("keep.url", "[InternetShortcut]\r\nURL=x\r\n");
  platform::remove_stale_temporaries(dir.path());
  EXPECT_EQ(list(backslashed(dir.path()) + "\\*.*").size(), 3u);  // ".", ".." and keep.url
}
