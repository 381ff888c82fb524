// The contract of the platform interface. The same tests run against the
// POSIX backend natively and against the Win32 backend under wine64, so each
// expectation here is one that both backends must meet.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/fault_injection.h"
#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;
using Names = std::multiset<std::string>;

std::string read_all(const std::string& path) {
  File file = open_file(path, FileAccess::read);
  std::string content(4096, '\0');
  content.resize(file.is_open() ? file.read(&content[0], content.size()) : 0);
  return content;
}

// The names a listing yields, folders marked with a trailing '/'; none when it fails.
Names listed(const std::string& pattern) {
  Names names;
  DirListing listing;
  DirEntry entry;
  if (listing.open(pattern))
    while (listing.next(entry)) names.insert(entry.name + (entry.is_directory ? "/" : ""));
  return names;
}

TEST(Files, TruncateReadSeekMoveAndFarOffsets) {
  TempDir dir;
  const std::string path = dir.file("a.txt");
  for (int pass = 0; pass < 2; ++pass) {  // the second open drops the first's bytes
    File file = open_file(path, FileAccess::create_truncate);
    EXPECT_EQ(file.size(), 0);
    EXPECT_TRUE(file.write("abcdefghij", 10));
  }
  File file = open_file(path, FileAccess::read);
  char buffer[32] = {};
  EXPECT_EQ(file.read(buffer, sizeof buffer), 10u);
  EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
  ASSERT_TRUE(file.seek(7));
  File moved(std::move(file)), assigned;  // a moved handle keeps its place
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(moved.read(buffer, 2), 2u);
  EXPECT_EQ(std::string(buffer, 2), "hi");
  EXPECT_FALSE(moved.seek(-1) || moved.write("x", 1));  // opened for reading only
  assigned = std::move(moved);
  EXPECT_EQ(assigned.size(), 10);
  const int64_t far = (int64_t{1} << 32) + 123;
  assigned = open_file(dir.file("large.bin"), FileAccess::create_truncate);
  ASSERT_TRUE(assigned.seek(far) && assigned.write("Z", 1));
  EXPECT_EQ(assigned.size(), far + 1);
  assigned = open_file(dir.file("large.bin"), FileAccess::read);
  EXPECT_TRUE(assigned.seek(far) && assigned.read(buffer, 2) == 1 && buffer[0] == 'Z');
}

TEST(Files, AttributesFoldersCopiesAndDeletion) {
  TempDir dir;
  const std::string file = dir.write("sub/deep/a.txt", "first"), sub = dir.file("made");
  EXPECT_EQ(read_all(TempDir::backslashed(file)), "first");  // backslashes as the program writes them
  EXPECT_TRUE(file_readable(TempDir::backslashed(file)) && file_attributes(file).exists);
  EXPECT_FALSE(file_attributes(file).is_directory);
  EXPECT_TRUE(file_attributes(TempDir::backslashed(dir.file("sub/deep"))).is_directory);
  for (const std::string& path : {dir.file("none"), dir.file("sub"), dir.path()})
    EXPECT_FALSE(open_file(path, FileAccess::read).is_open() || file_readable(path) ||
                 open_file(path, FileAccess::read_write_shared).is_open())
        << path;
  EXPECT_FALSE(file_attributes(dir.file("none")).exists);
  EXPECT_FALSE(open_file(dir.file("nowhere/new.txt"), FileAccess::create_truncate).is_open());
  EXPECT_TRUE(create_directory(sub) && file_attributes(sub).is_directory);
  EXPECT_FALSE(create_directory(sub) || create_directory(dir.file("x/y")));  // one new level only
  const std::string copy = dir.write("b.txt", "old content that is longer");
  EXPECT_TRUE(copy_file(file, copy));
  EXPECT_EQ(TempDir::read(copy), "first");
  EXPECT_FALSE(copy_file(dir.file("none"), dir.file("c.txt")) ||
               file_attributes(dir.file("c.txt")).exists);
  copy_file(file, file);  // onto itself: the content stays
  EXPECT_EQ(TempDir::read(file), "first");
  EXPECT_TRUE(delete_file(copy) && !file_attributes(copy).exists);
  EXPECT_FALSE(delete_file(copy) || delete_file(sub));  // gone, and a folder is not a file
  EXPECT_TRUE(file_attributes(sub).exists);
}

TEST(DirListingTest, PatternsMatchWithoutRegardToCase) {
  TempDir dir;
  for (const char* name : {"one.url", "noext", "Sub/Only.url", "abc.default-release/x",
                           "xyz.DEFAULT/x", "Report.URL", "notes.txt", "locked/a.txt"})
    dir.write(name, "");
  const std::string root = TempDir::backslashed(dir.path());
  const Names everything{"./", "../", "one.url", "noext", "Sub/", "abc.default-release/",
                         "xyz.DEFAULT/", "Report.URL", "notes.txt", "locked/"};
  const std::pair<std::string, Names> cases[] = {
      {root + "\\*.*", everything},
      {dir.path() + "/*", everything},
      {root + "\\*default*", {"abc.default-release/", "xyz.DEFAULT/"}},
      {root + "\\*.URL", {"one.url", "Report.URL"}},
      {root + "\\n?tes.*", {"notes.txt"}},
      {root + "\\Sub\\Only.url", {"Only.url"}},  // a path of its own names one entry
      {root + "\\Sub", {"Sub/"}},
      {root + "\\missing\\*.*", {}},  // nothing to list: the listing fails
      {root + "\\*.none", {}},
      {root + "\\missing.txt", {}},
  };
  for (const auto& [pattern, names] : cases) {
    DirListing listing;
    EXPECT_EQ(listing.open(pattern), !names.empty()) << pattern;
    EXPECT_EQ(listed(pattern), names) << pattern;
  }
  DirEntry entry;
  EXPECT_FALSE(DirListing().next(entry));  // never opened
  // A folder this user cannot read does not list as empty (root reads it anyway).
  std::error_code ec;
  fs::permissions(dir.file("locked"), fs::perms::none, ec);
  fs::directory_iterator probe(dir.file("locked"), ec);
  if (ec) {
    EXPECT_FALSE(DirListing().open(dir.file("locked\\*.*")));
  }
  fs::permissions(dir.file("locked"), fs::perms::owner_all, ec);
}

TEST(Profile, ReadsMatchWithoutCaseTrimUnquoteAndCut) {
  TempDir dir;
  const std::string crlf = dir.write("up.ini",
                                     "[General]\r\nUC=7\r\n  Spaced  =  some value  \r\nn=-5\r\n"
                                     "t=12abc\r\ne=\r\n[Other]\r\nUC=99\r\n");
  const std::string lf = dir.write(
      "link.url", "[S]\nURL=http://e.com/a\nQ=\"quoted\"\nT='single'\nHalf=\"open\nL=abcdefghij");
  const struct {
    std::string file, section, key;
    size_t size;
    std::string expected;
  } cases[] = {
      {crlf, "general", "uc", 100, "7"},    {crlf, "GENERAL", "spaced", 100, "some value"},
      {crlf, "other", "UC", 100, "99"},     {crlf, "General", "missing", 100, "dflt"},
      {crlf, "Missing", "UC", 100, "dflt"}, {dir.file("no.ini"), "General", "UC", 100, "dflt"},
      {lf, "S", "URL", 99, "http://e.com/a"}, {lf, "S", "Q", 99, "quoted"},
      {lf, "S", "T", 99, "single"},         {lf, "S", "Half", 99, "\"open"},
      {lf, "S", "L", 99, "abcdefghij"},     {lf, "S", "L", 5, "abcd"},  // cut, "\0" counted
      {lf, "S", "none", 3, "df"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(profile_read(c.file, c.section, c.key, "dflt", c.size), c.expected)
        << c.section << "/" << c.key << " " << c.size;
  EXPECT_FALSE(file_attributes(dir.file("no.ini")).exists);  // reading makes no file
  // Integers read as Windows reads them: the leading digits, 0 for a word,
  // the default for an empty or missing value.
  const std::pair<const char*, int> numbers[] = {
      {"UC", 7}, {"n", -5}, {"t", 12}, {"Spaced", 0}, {"e", 1}, {"missing", 1}};
  for (const auto& [key, value] : numbers)
    EXPECT_EQ(profile_read_int(crlf, "general", key, 1), value) << key;
}

// Writes create the file with CRLF lines, replace a value in place matched
// without case, add a key at the end of its section and keep every other
// byte; writers on several threads lose no key to one another.
TEST(Profile, WritesKeepEveryOtherLine) {
  TempDir dir;
  const std::string fresh = dir.file("up.ini");
  const std::string kept =
      dir.write("keep.ini", "[One]\r\n;note\r\na=1\r\n[Two]\r\nc=3\r\nd=4\r\n[3]\r\ne=5\r\n");
  const std::string lf = dir.write("lf.ini", "; top\n\n[A]\nx=1\n\n[Last]\r\n  G = 3 \r\nd=4");
  const std::string bare = dir.write("bare.ini", "[A]\nx=1");
  const struct {
    std::string file, section, key, value, expected;
  } steps[] = {
      {kept, "TWO", "C", "x", "[One]\r\n;note\r\na=1\r\n[Two]\r\nc=x\r\nd=4\r\n[3]\r\ne=5\r\n"},
      {kept, "one", "n", "y",
       "[One]\r\n;note\r\na=1\r\nn=y\r\n[Two]\r\nc=x\r\nd=4\r\n[3]\r\ne=5\r\n"},
#ifndef _WIN32  // the system's own writer keeps line ends its own way
      {lf, "a", "X", "10", "; top\n\n[A]\nx=10\n\n[Last]\r\n  G = 3 \r\nd=4"},
      {lf, "LAST", "D", "40", "; top\n\n[A]\nx=10\n\n[Last]\r\n  G = 3 \r\nd=40"},
      {lf, "Last", "new", "x", "; top\n\n[A]\nx=10\n\n[Last]\r\n  G = 3 \r\nd=40\r\nnew=x\r\n"},
      {bare, "B", "y", "2", "[A]\nx=1\r\n[B]\r\ny=2\r\n"},
#endif
  };
  for (const auto& s : steps) {
    ASSERT_TRUE(profile_write(s.file, s.section, s.key, s.value)) << s.key;
    EXPECT_EQ(TempDir::read(s.file), s.expected) << s.key;
  }
  EXPECT_FALSE(profile_write(dir.file("nowhere/up.ini"), "General", "UC", "1"));
  EXPECT_FALSE(file_attributes(dir.file("nowhere")).exists);
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([&, t] {
      for (int k = 0; k < 8; ++k)
        profile_write(fresh, "S" + std::to_string(t), "k" + std::to_string(k), std::to_string(k));
    });
  for (std::thread& writer : writers) writer.join();
  for (int i = 0; i < 32; ++i)
    EXPECT_EQ(profile_read_int(fresh, "S" + std::to_string(i / 8), "k" + std::to_string(i % 8), -1),
              i % 8);
}

TEST(Environment, ExpandsKnownVariablesAndKeepsUnknownOnes) {
  ScopedEnv var("LVN_TEST_VAR", "abc");
  const std::pair<const char*, const char*> cases[] = {
      {"%LVN_TEST_VAR%\\Favorites", "abc\\Favorites"},
      {"x%LVN_TEST_VAR%%lvn_test_var%y", "xabcabcy"},
      {"%LVN_NO_SUCH_VARIABLE%\\x", "%LVN_NO_SUCH_VARIABLE%\\x"},
      {"100% sure", "100% sure"},
      {"%NOPE%LVN_TEST_VAR%", "%NOPE%LVN_TEST_VAR%"},
      {"", ""},
  };
  for (const auto& [text, expanded] : cases) EXPECT_EQ(expand_environment(text), expanded) << text;
  // The Firefox profiles folder, in the letter case the browser uses.
  const std::string firefox = firefox_profiles_folder();
  const std::string tail =
      windows_name_rules() ? "\\Mozilla\\Firefox\\Profiles" : "/.mozilla/firefox";
  EXPECT_EQ(firefox.substr(firefox.size() - std::min(firefox.size(), tail.size())), tail);
}

// A chain of folders below a root. At the end every folder is renamed to one
// letter, from the top down, so that the temporary folder's removal
// (std::filesystem, limited to 260 characters on Windows) reaches each level.
struct FolderChain {
  std::string root;
  std::vector<std::string> names;
  ~FolderChain() {
    fs::path current = root;
    std::error_code ec;
    for (const std::string& name : names)
      if (fs::rename(current / name, current / name.substr(0, 1), ec); !ec)
        current /= name.substr(0, 1);
  }
};

// The Windows ANSI file and profile functions stop short of 260 characters;
// a bookmark tree can hold longer paths, and each backend must still read,
// write, list and delete there.
TEST(LongPaths, ProfilesFilesAndListingsBeyondThe260CharacterLimit) {
  TempDir dir;
  FolderChain chain{dir.path(), {}};
  std::string folder = TempDir::backslashed(dir.path());
  for (char letter = 'a'; folder.size() < 390; ++letter) {
    chain.names.push_back(std::string(47, letter));
    folder += "\\" + chain.names.back();
    ASSERT_TRUE(create_directory(folder)) << folder.size() << " characters";
  }
  EXPECT_TRUE(file_attributes(folder).is_directory);
  const std::string shortcut = folder + "\\link.url", data = folder + "\\data.bin";
  EXPECT_EQ(profile_read(shortcut, "InternetShortcut", "URL", "none", 100), "none");
  EXPECT_TRUE(profile_write(shortcut, "InternetShortcut", "URL", "http://long.example/"));
  EXPECT_TRUE(profile_write(shortcut, "DEFAULT", "BASEURL", "http://long.example/"));
  EXPECT_TRUE(profile_write(shortcut, "internetshortcut", "url", "http://moved.example/"));
  EXPECT_TRUE(profile_write(shortcut, "Counts", "n", "42"));
  EXPECT_EQ(profile_read(shortcut, "INTERNETSHORTCUT", "Url", "", 1000), "http://moved.example/");
  EXPECT_EQ(profile_read(shortcut, "InternetShortcut", "URL", "", 8), "http://");
  EXPECT_EQ(profile_read(shortcut, "DEFAULT", "missing", "dflt", 100), "dflt");
  EXPECT_EQ(profile_read_int(shortcut, "counts", "N", 7), 42);
  EXPECT_EQ(profile_read_int(shortcut, "Counts", "none", 7), 7);
  EXPECT_EQ(read_all(shortcut),
            "[InternetShortcut]\r\nURL=http://moved.example/\r\n"
            "[DEFAULT]\r\nBASEURL=http://long.example/\r\n[Counts]\r\nn=42\r\n");
  // ".." in a long path names the same file.
  const std::string roundabout = folder + "\\..\\" + chain.names.back() + "\\link.url";
  EXPECT_EQ(profile_read(roundabout, "InternetShortcut", "URL", "", 100), "http://moved.example/");
  EXPECT_FALSE(profile_write(folder + "\\missing\\x.url", "S", "k", "v"));
  EXPECT_TRUE(open_file(data, FileAccess::create_truncate).write("abc", 3));
  EXPECT_TRUE(copy_file(data, folder + "\\copy.bin"));
  EXPECT_EQ(read_all(folder + "\\copy.bin"), "abc");
  EXPECT_TRUE(file_readable(data) && file_attributes(data).exists);
  // No temporary file is left behind by the profile writes.
  EXPECT_EQ(listed(folder + "\\*.*"), (Names{"./", "../", "link.url", "data.bin", "copy.bin"}));
  EXPECT_EQ(listed(folder + "\\*.URL"), (Names{"link.url"}));
  EXPECT_TRUE(delete_file(data) && delete_file(folder + "\\copy.bin"));
  EXPECT_FALSE(file_attributes(data).exists || file_readable(data) || delete_file(data));
  EXPECT_EQ(listed(folder + "\\*.*"), (Names{"./", "../", "link.url"}));
}

// A failing write stores only what the plan lets through (the other ways
// the fault layer bites are caught by the data-safety tests that use them).
TEST(FaultInjection, AFailingWriteKeepsThePlannedBytes) {
  TempDir dir;
  const std::string path = dir.file("f.bin");
  File file = open_file(path, FileAccess::create_truncate);
  ScopedFaultPlan faults({2, 3, -1, 0});
  std::vector<bool> results;
  for (int i = 0; i < 3; ++i) results.push_back(file.write("abcd", 4));
  file.close();
  EXPECT_EQ(results, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(TempDir::read(path), "abcdabcabcd");
}

}  // namespace
