// Where the browsers keep their bookmarks, found into 1000-byte buffers.
#include "bookmarks/browser_locations.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

bool on_windows() { return platform::module_path().find('\\') != std::string::npos; }

// Runs a lookup into 1000 bytes, unterminated, with guard bytes behind them:
// the text found, or "<overrun>" when a guard byte changed.
template <typename Lookup>
std::string into_destination(Lookup lookup) {
  char bytes[1100];
  std::memset(bytes, 'x', 1000);
  std::memset(bytes + 1000, 'G', 100);
  lookup(bytes);
  if (std::string(bytes + 1000, 100) != std::string(100, 'G')) return "<overrun>";
  return std::string(bytes, strnlen(bytes, 1000));
}

// On Linux the registry is a store in a folder of the test; on Windows the
// real value is put back afterwards.
TEST(FindFavoritesDirectory, ExpandsReferencesAndNeverOverruns) {
  const char* shell_folders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  const auto set = [&](const std::string& value) {
    return platform::registry_write_string(platform::RegistryRoot::current_user, shell_folders, "Favorites", value);
  };
  TempDir profile, store;
  ScopedEnv user_profile("USERPROFILE", profile.path()), registry("LORVANE_REGISTRY_DIR", store.path());
  std::string old;
  const bool had_old =
      platform::registry_read_string(platform::RegistryRoot::current_user, shell_folders, "Favorites", old);
  EXPECT_TRUE(on_windows() || into_destination(find_favorites_directory).empty());  // no value yet
  EXPECT_TRUE(set("%USERPROFILE%\\Favorites"));
  EXPECT_EQ(into_destination(find_favorites_directory), profile.path() + "\\Favorites");
  // A value too long for the 1000 bytes once expanded names no folder of the
  // user's, so only its bounds are held: nothing written past them, and
  // nothing that is not the value's own.
  const std::string tail = "\\" + std::string(1500, 'f');
  EXPECT_TRUE(set("%USERPROFILE%" + tail));
  const std::string text = into_destination(find_favorites_directory);
  EXPECT_LT(text.size(), 1000u);
  EXPECT_EQ(text, (profile.path() + tail).substr(0, text.size()));
  if (had_old) set(old);
}

// On Linux HOME moves to a test folder; the Windows application-data folder
// cannot move, so there the test works in the real one, only while it holds
// no Mozilla folder yet (a prefix made for the tests), and removes it after.
// The bookmark database is that of the profile that profiles.ini names as an
// install's default, else of the first "*default*" profile folder; a failed
// lookup leaves its destination as it was.
TEST(FindFirefoxBookmarkFile, TheDefaultProfilesFileOrDatabase) {
  TempDir home;
  ScopedEnv home_env("HOME", home.path());
  const std::string profiles = platform::firefox_profiles_folder();
  const fs::path mozilla = fs::path(profiles).parent_path().parent_path();
  if (on_windows() && (mozilla.filename() != "Mozilla" || fs::exists(mozilla)))
    GTEST_SKIP() << "the application-data folder already has a Mozilla folder";
  // Windows opens the fixed upper-case name whatever case the file has;
  // elsewhere the name is the file's own.
  const std::string upper = on_windows() ? "BOOKMARKS.HTML" : "", first = "first listed";
  // profiles.ini lives beside "Profiles" on Windows, among the profiles on Linux.
  const fs::path ini = (on_windows() ? fs::path(profiles).parent_path() : fs::path(profiles)) / "profiles.ini";
  const std::string in = on_windows() ? "[Install1]\nDefault=Profiles/b\n" : "[Install1]\nDefault=b\n";
  const std::string db = "places.sqlite", absolute = profiles + "\\c";
  const struct {
    const char* what;
    std::vector<std::string> files;  // a trailing '/': a folder only
    std::string found;               // inside the profiles folder; empty: not found
    std::string ini = "";            // when given, the database is looked up
  } cases[] = {
      {"a file name in mixed case", {"x.default-release/BookMarks.Html"},
       "x.default-release\\" + (on_windows() ? upper : "BookMarks.Html")},
      {"no profile named default", {"release/bookmarks.html"}, ""},
      {"a default profile without the file", {"solo.default/places.sqlite"}, ""},
      {"a file named default", {"notes.default"}, ""},
      {"the first listed default profile decides", {"old.default/", "new.default-release/bookmarks.html"}, first},
      {"the install's default", {"a.default/" + db, "b/" + db}, "b\\" + db, "[Profile0]\nPath=a.default\n" + in},
      {"no install section", {"a.default/" + db, "b/" + db}, "a.default\\" + db, "[Profile1]\nDefault=b\n"},
      {"the install's default without a database", {"a.default/" + db, "b/"}, "a.default\\" + db, in},
      {"an absolute path", {"c/" + db}, "c\\" + db, "[InstallX]\r\nDefault=" + absolute + "\r\n"},
      {"neither has a database", {"a.default/bookmarks.html"}, "", in},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::error_code ec;
    fs::remove_all(profiles, ec);
    fs::create_directories(ini.parent_path());
    std::ofstream(ini) << c.ini;
    for (const std::string& file : c.files) {
      fs::create_directories((fs::path(profiles) / file).parent_path());
      if (file.back() != '/') std::ofstream(fs::path(profiles) / file) << "<DL>";
    }
    std::string want = c.found;
    platform::DirListing listing;
    platform::DirEntry entry;
    if (want == first)
      want = listing.open(profiles + "\\*default*") && listing.next(entry) && entry.name == "new.default-release"
                 ? "new.default-release\\" + (on_windows() ? upper : "bookmarks.html") : "";
    bool found = false;
    const std::string text = into_destination([&](char* to) {
      found = c.ini.empty() ? find_firefox_bookmark_file(to) : find_firefox_places_database(to);
    });
    EXPECT_EQ(found, !want.empty());
    // A failed database lookup writes nothing.
    EXPECT_TRUE(found ? TempDir::backslashed(text) == TempDir::backslashed(profiles + "\\" + want)
                      : c.ini.empty() ? text != "<overrun>" : text == std::string(1000, 'x')) << text;
  }
  std::error_code ec;
  fs::remove_all(on_windows() ? mozilla : fs::path(profiles), ec);
}

}  // namespace
