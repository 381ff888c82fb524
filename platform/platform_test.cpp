// The contract of the platform interface. The same tests run against the
// POSIX backend natively and against the Win32 backend under wine64, so each
// expectation here is one that both backends must meet.
#include "platform/platform.h"
#include "platform/fault_injection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::DirEntry;
using platform::DirListing;
using platform::File;
using platform::FileAccess;
using platform::RegistryRoot;
using Names = std::multiset<std::string>;

// The path with every separator written as the program writes it.
std::string backslashed(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string read_all(const std::string& path) {
  File file = platform::open_file(path, FileAccess::read);
  std::string content;
  char buffer[4096];
  for (size_t got; file.is_open() && (got = file.read(buffer, sizeof buffer)) > 0;)
    content.append(buffer, got);
  return content;
}

// The names a listing yields, folders marked with a trailing '/'.
Names listed(const std::string& pattern, bool* opened = nullptr) {
  Names names;
  DirListing listing;
  const bool ok = listing.open(pattern);
  if (opened) *opened = ok;
  for (DirEntry entry; ok && listing.next(entry);)
    names.insert(entry.name + (entry.is_directory ? "/" : ""));
  return names;
}

// ---------------------------------------------------------------------------
// Files

TEST(Files, TruncateAppendReadSeekAndMove) {
  TempDir dir;
  const std::string path = dir.file("a.txt");
  for (int pass = 0; pass < 2; ++pass) {  // the second open drops the first's bytes
    File file = platform::open_file(path, FileAccess::create_truncate);
    ASSERT_TRUE(file.is_open());
    EXPECT_EQ(file.size(), 0);
    EXPECT_TRUE(file.write("abcdefghij", 10));
    EXPECT_EQ(file.size(), 10);
  }
  // Appending creates the file, and writes at its end wherever the handle stands.
  for (const char* line : {"one\r\n", "two\r\n"}) {
    File log = platform::open_file(dir.file("log.txt"), FileAccess::append);
    EXPECT_TRUE(log.seek(0));
    EXPECT_TRUE(log.write(line, 5));
  }
  EXPECT_EQ(TempDir::read(dir.file("log.txt")), "one\r\ntwo\r\n");

  File file = platform::open_file(path, FileAccess::read);
  char buffer[32] = {};
  EXPECT_EQ(file.read(buffer, sizeof buffer), 10u);
  EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
  ASSERT_TRUE(file.seek(7));
  EXPECT_EQ(file.read(buffer, 2), 2u);
  EXPECT_EQ(std::string(buffer, 2), "hi");
  File moved(std::move(file));  // a moved handle keeps its place
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(moved.read(buffer, 1), 1u);
  EXPECT_EQ(buffer[0], 'j');
  EXPECT_FALSE(moved.seek(-1));
  EXPECT_FALSE(moved.write("x", 1));  // opened for reading only
  File assigned;
  assigned = std::move(moved);
  EXPECT_FALSE(moved.is_open());
  EXPECT_EQ(assigned.size(), 10);
  assigned.close();
  EXPECT_FALSE(assigned.is_open());
  EXPECT_EQ(TempDir::read(path), "abcdefghij");
}

TEST(Files, OffsetsBeyondFourGigabytes) {
  TempDir dir;
  const std::string path = dir.file("large.bin");
  const int64_t far = (int64_t{1} << 32) + 123;
  {
    File file = platform::open_file(path, FileAccess::create_truncate);
    ASSERT_TRUE(file.seek(far));
    ASSERT_TRUE(file.write("Z", 1));
    EXPECT_EQ(file.size(), far + 1);
  }
  File file = platform::open_file(path, FileAccess::read);
  ASSERT_TRUE(file.seek(far));
  char c = 0;
  EXPECT_EQ(file.read(&c, 1), 1u);
  EXPECT_EQ(c, 'Z');
}

TEST(Files, AttributesDirectoriesCopiesAndDeletion) {
  TempDir dir;
  const std::string file = dir.write("sub/deep/a.txt", "first");
  // Backslashes reach the file as the program writes them.
  EXPECT_EQ(read_all(backslashed(dir.path()) + "\\sub\\deep\\a.txt"), "first");
  EXPECT_TRUE(platform::file_readable(backslashed(file)));
  EXPECT_TRUE(platform::file_attributes(backslashed(dir.file("sub/deep"))).is_directory);
  EXPECT_TRUE(platform::file_attributes(file).exists);
  EXPECT_FALSE(platform::file_attributes(file).is_directory);
  EXPECT_FALSE(platform::file_attributes(dir.file("none")).exists);
  // Missing files and folders never open for reading.
  for (const std::string& path : {dir.file("none"), dir.file("sub"), dir.path()}) {
    EXPECT_FALSE(platform::open_file(path, FileAccess::read).is_open()) << path;
    EXPECT_FALSE(platform::open_file(path, FileAccess::read_write_shared).is_open()) << path;
    EXPECT_FALSE(platform::file_readable(path)) << path;
  }
  EXPECT_FALSE(platform::open_file(dir.file("nowhere/new.txt"), FileAccess::create_truncate)
                   .is_open());

  const std::string sub = dir.file("made");
  EXPECT_TRUE(platform::create_directory(sub));
  EXPECT_TRUE(platform::file_attributes(sub).is_directory);
  EXPECT_FALSE(platform::create_directory(sub));                // already there
  EXPECT_FALSE(platform::create_directory(dir.file("x/y/z")));  // one level only

  const std::string copy = dir.write("b.txt", "old content that is longer");
  EXPECT_TRUE(platform::copy_file(file, copy));
  EXPECT_EQ(TempDir::read(copy), "first");
  EXPECT_FALSE(platform::copy_file(dir.file("none"), dir.file("c.txt")));
  EXPECT_FALSE(platform::file_attributes(dir.file("c.txt")).exists);
  platform::copy_file(file, file);  // onto itself: the content stays
  EXPECT_EQ(TempDir::read(file), "first");

  EXPECT_TRUE(platform::delete_file(copy));
  EXPECT_FALSE(platform::file_attributes(copy).exists);
  EXPECT_FALSE(platform::delete_file(copy));
  EXPECT_FALSE(platform::delete_file(sub));  // a directory is not a file
  EXPECT_TRUE(platform::file_attributes(sub).exists);
}

// ---------------------------------------------------------------------------
// Directory listing

TEST(DirListingTest, PatternsMatchWithoutRegardToCase) {
  TempDir dir;
  for (const char* name : {"one.url", "noext", "Sub/Only.url", "abc.default-release/x",
                           "xyz.DEFAULT/x", "Report.URL", "notes.txt"})
    dir.write(name, "");
  const std::string root = backslashed(dir.path());
  const Names everything{"./", "../", "one.url", "noext", "Sub/", "abc.default-release/",
                         "xyz.DEFAULT/", "Report.URL", "notes.txt"};
  const std::pair<std::string, Names> cases[] = {
      {root + "\\*.*", everything},
      {dir.path() + "/*", everything},
      {root + "\\*default*", {"abc.default-release/", "xyz.DEFAULT/"}},
      {root + "\\*.url", {"one.url", "Report.URL"}},
      {root + "\\n?tes.*", {"notes.txt"}},
      {root + "\\Sub\\Only.url", {"Only.url"}},  // a path of its own names one entry
      {root + "\\Sub", {"Sub/"}},
      {root + "\\missing\\*.*", {}},  // nothing to list: the listing fails
      {root + "\\*.none", {}},
      {root + "\\missing.txt", {}},
  };
  for (const auto& [pattern, names] : cases) {
    bool opened = false;
    EXPECT_EQ(listed(pattern, &opened), names) << pattern;
    EXPECT_EQ(opened, !names.empty()) << pattern;
  }

  DirEntry entry;
  DirListing first;
  EXPECT_FALSE(first.next(entry));  // never opened
  ASSERT_TRUE(first.open(root + "\\*.URL"));
  ASSERT_TRUE(first.next(entry));
  Names seen{entry.name};
  DirListing second(std::move(first));  // moved, it keeps its place
  EXPECT_FALSE(first.next(entry));
  ASSERT_TRUE(second.next(entry));
  seen.insert(entry.name);
  EXPECT_FALSE(second.next(entry));
  EXPECT_EQ(seen, (Names{"one.url", "Report.URL"}));
}

TEST(DirListingTest, UnreadableFolderFails) {
  TempDir dir;
  dir.write("locked/a.txt", "");
  const fs::path locked = fs::path(dir.file("locked"));
  std::error_code ec;
  fs::permissions(locked, fs::perms::none, ec);
  fs::directory_iterator probe(locked, ec);
  const bool still_readable = !ec;
  bool opened = true;
  listed(dir.file("locked\\*.*"), &opened);
  fs::permissions(locked, fs::perms::owner_all, ec);
  if (still_readable) GTEST_SKIP() << "this user can read a folder without permissions";
  EXPECT_FALSE(opened);
}

// ---------------------------------------------------------------------------
// Private-profile files

TEST(Profile, ReadsMatchWithoutCaseTrimUnquoteAndCut) {
  TempDir dir;
  const std::string crlf = dir.write(
      "up.ini", "[General]\r\nUC=7\r\n  Spaced  =  some value  \r\n[Other]\r\nUC=99\r\n");
  const std::string lf = dir.write("link.url",
                                   "[S]\nURL=http://example.com/a\nQ=\"quoted value\"\n"
                                   "T='single'\nHalf=\"open\nLong=abcdefghij");
  const std::string none = dir.file("no.ini");
  struct Case {
    std::string file, section, key;
    size_t size;
    std::string expected;
  };
  const Case cases[] = {
      {crlf, "general", "uc", 100, "7"},
      {crlf, "GENERAL", "spaced", 100, "some value"},
      {crlf, "other", "UC", 100, "99"},
      {crlf, "General", "missing", 100, "dflt"},
      {crlf, "Missing", "UC", 100, "dflt"},
      {none, "General", "UC", 100, "dflt"},
      {lf, "S", "URL", 1000, "http://example.com/a"},
      {lf, "S", "Q", 1000, "quoted value"},
      {lf, "S", "T", 1000, "single"},
      {lf, "S", "Half", 1000, "\"open"},
      {lf, "S", "Long", 1000, "abcdefghij"},
      {lf, "S", "Long", 5, "abcd"},  // cut to the buffer, its terminator included
      {lf, "S", "none", 3, "df"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform::profile_read(c.file, c.section, c.key, "dflt", c.size), c.expected)
        << c.section << "/" << c.key << " " << c.size;

  // Integers read like the Windows function: the leading digits, 0 for a
  // word, the default for an empty or missing value.
  const std::string ini =
      dir.write("n.ini", "[N]\r\nplain=42\r\nneg=-5\r\ntail=12abc\r\nword=abc\r\nempty=\r\n");
  const std::pair<const char*, int> numbers[] = {{"plain", 42}, {"neg", -5}, {"tail", 12},
                                                 {"word", 0},   {"empty", 1}, {"missing", 1}};
  for (const auto& [key, value] : numbers)
    EXPECT_EQ(platform::profile_read_int(ini, "n", key, 1), value) << key;
  EXPECT_EQ(platform::profile_read_int(none, "N", "plain", 5), 5);
}

// Writes create the file with CRLF lines, replace a value in place matched
// without case, add a key at the end of its section, and keep every other line.
TEST(Profile, WritesKeepEveryOtherLine) {
  TempDir dir;
  const std::string fresh = dir.file("up.ini");
  const std::string kept = dir.write(
      "keep.ini", "[One]\r\n;comment line\r\na=1\r\n[Two]\r\nc=3\r\nd=4\r\n[Three]\r\ne=5\r\n");
  struct Step {
    std::string file, section, key, value, expected;
  };
  const Step steps[] = {
      {fresh, "General", "UC", "4", "[General]\r\nUC=4\r\n"},
      {fresh, "general", "uc", "3", "[General]\r\nUC=3\r\n"},
      {fresh, "Other", "Key", "Value", "[General]\r\nUC=3\r\n[Other]\r\nKey=Value\r\n"},
      {kept, "TWO", "C", "changed",
       "[One]\r\n;comment line\r\na=1\r\n[Two]\r\nc=changed\r\nd=4\r\n[Three]\r\ne=5\r\n"},
      {kept, "one", "new", "x",
       "[One]\r\n;comment line\r\na=1\r\nnew=x\r\n[Two]\r\nc=changed\r\nd=4\r\n[Three]\r\ne=5\r\n"},
  };
  for (const Step& s : steps) {
    ASSERT_TRUE(platform::profile_write(s.file, s.section, s.key, s.value)) << s.key;
    EXPECT_EQ(TempDir::read(s.file), s.expected) << s.key;
  }
  EXPECT_EQ(platform::profile_read_int(fresh, "General", "UC", 5), 3);
  EXPECT_FALSE(platform::profile_write(dir.file("nowhere/up.ini"), "General", "UC", "1"));
  EXPECT_FALSE(platform::file_attributes(dir.file("nowhere")).exists);
}

// Writers on several threads lose no key to one another.
TEST(Profile, ConcurrentWritersKeepEveryKey) {
  TempDir dir;
  const std::string ini = dir.file("shared.ini");
  auto key = [](int k) { return "k" + std::to_string(k); };
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([&, t] {
      for (int k = 0; k < 8; ++k)
        platform::profile_write(ini, "S" + std::to_string(t), key(k), std::to_string(t * 100 + k));
    });
  for (std::thread& writer : writers) writer.join();
  for (int t = 0; t < 4; ++t)
    for (int k = 0; k < 8; ++k)
      EXPECT_EQ(platform::profile_read_int(ini, "S" + std::to_string(t), key(k), -1), t * 100 + k);
}

// ---------------------------------------------------------------------------
// Registry

TEST(Registry, StringValuesAndKeysDeletedWithEverythingBelow) {
  // The POSIX backend keeps its store in this test's folder; the Windows
  // backend ignores the variable.
  TempDir store;
  ScopedEnv where("LORVANE_REGISTRY_DIR", store.path());
  const RegistryRoot user = RegistryRoot::current_user;
  const std::string key = "Software\\LorvaneTest";
  const std::string sub = key + "\\Sub\\Deeper";
  const std::string sibling = key + "Sibling";  // begins the same way, another key
  platform::registry_delete_key(user, key);
  std::string out;
  EXPECT_FALSE(platform::registry_key_opens(user, key));
  EXPECT_FALSE(platform::registry_read_string(user, key, "Name", out));

  const std::pair<std::string, std::string> values[] = {
      {"Name", "Lorvane"}, {"Padded", "  blanks at both ends  "}, {"", "the default value"}};
  for (const auto& [name, value] : values) {
    ASSERT_TRUE(platform::registry_write_string(user, key, name, value));
    ASSERT_TRUE(platform::registry_read_string(user, key, name, out)) << name;
    EXPECT_EQ(out, value);
  }
  ASSERT_TRUE(platform::registry_write_string(user, key, "Name", "Again"));
  ASSERT_TRUE(platform::registry_read_string(user, "software\\lorvanetest", "NAME", out));
  EXPECT_EQ(out, "Again");
  EXPECT_FALSE(platform::registry_read_string(user, key, "Other", out));

  ASSERT_TRUE(platform::registry_write_string(user, sub, "v", "1"));
  ASSERT_TRUE(platform::registry_write_string(user, sibling, "v", "2"));
  EXPECT_TRUE(platform::registry_key_opens(user, key + "\\Sub"));  // keys on the way down
  EXPECT_TRUE(platform::registry_delete_key(user, key));
  EXPECT_FALSE(platform::registry_key_opens(user, key));
  EXPECT_FALSE(platform::registry_read_string(user, sub, "v", out));
  EXPECT_TRUE(platform::registry_read_string(user, sibling, "v", out));
  EXPECT_EQ(out, "2");
  EXPECT_TRUE(platform::registry_delete_key(user, sibling));
  EXPECT_FALSE(platform::registry_delete_key(user, key));
}

// ---------------------------------------------------------------------------
// Process and environment

TEST(Environment, ExpandsKnownVariablesAndKeepsUnknownOnes) {
  ScopedEnv var("LVN_TEST_VAR", "abc");
  const std::pair<const char*, const char*> cases[] = {
      {"%LVN_TEST_VAR%\\Favorites", "abc\\Favorites"},
      {"x%LVN_TEST_VAR%%LVN_TEST_VAR%y", "xabcabcy"},
      {"%lvn_test_var%", "abc"},
      {"%LVN_NO_SUCH_VARIABLE%\\x", "%LVN_NO_SUCH_VARIABLE%\\x"},
      {"100% sure", "100% sure"},
      {"%NOPE%LVN_TEST_VAR%", "%NOPE%LVN_TEST_VAR%"},
      {"", ""},
  };
  for (const auto& [text, expanded] : cases)
    EXPECT_EQ(platform::expand_environment(text), expanded) << text;
}

TEST(Environment, FoldersAndSleep) {
  EXPECT_TRUE(platform::file_readable(platform::module_path()));
  EXPECT_FALSE(platform::desktop_folder().empty());
#ifdef _WIN32
  const std::string firefox_tail = "\\Mozilla\\Firefox\\Profiles";
#else
  const std::string firefox_tail = "/.mozilla/firefox";
#endif
  // Named in the letter case the browser uses.
  const std::string firefox = platform::firefox_profiles_folder();
  const size_t cut = firefox.size() - std::min(firefox.size(), firefox_tail.size());
  EXPECT_EQ(firefox.substr(cut), firefox_tail) << firefox;

  const auto start = std::chrono::steady_clock::now();
  platform::sleep_ms(50);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
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
  EXPECT_EQ(listed(folder + "\\*.*"), (Names{"./", "../", "link.url", "data.bin", "copy.bin"}));
  EXPECT_EQ(listed(folder + "\\*.URL"), (Names{"link.url"}));

  EXPECT_TRUE(platform::delete_file(data));
  EXPECT_TRUE(platform::delete_file(folder + "\\copy.bin"));
  EXPECT_FALSE(platform::file_attributes(data).exists);
  EXPECT_FALSE(platform::file_readable(data));
  EXPECT_FALSE(platform::delete_file(data));
  EXPECT_EQ(listed(folder + "\\*.*"), (Names{"./", "../", "link.url"}));
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
  EXPECT_EQ(listed(backslashed(dir.path()) + "\\*.*"), (Names{"./", "../", "keep.url"}));
}
