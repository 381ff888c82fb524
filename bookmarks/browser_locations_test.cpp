#include "bookmarks/browser_locations.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// A destination of 1000 bytes, unterminated, with guard bytes behind it.
struct Destination {
  char bytes[1100];
  Destination() {
    std::memset(bytes, 'x', 1000);
    std::memset(bytes + 1000, 'G', 100);
  }
  bool guard_intact() const {
    for (size_t i = 1000; i < sizeof bytes; ++i)
      if (bytes[i] != 'G') return false;
    return true;
  }
  std::string text() const { return std::string(bytes, strnlen(bytes, 1000)); }
};

bool running_on_windows() { return platform::module_path().find('\\') != std::string::npos; }

// Sets the Favorites value for one test. On Linux the registry is a store in
// a folder of the test; on Windows the real value is put back afterwards.
class FavoritesValue {
 public:
  FavoritesValue() : registry_dir_("LORVANE_REGISTRY_DIR", scratch_.path()) {
    had_old_ = platform::registry_read_string(platform::RegistryRoot::current_user, kShellFolders,
                                              "Favorites", old_);
  }
  ~FavoritesValue() {
    if (had_old_)
      platform::registry_write_string(platform::RegistryRoot::current_user, kShellFolders,
                                      "Favorites", old_);
  }
  bool set(const std::string& value) {
    return platform::registry_write_string(platform::RegistryRoot::current_user, kShellFolders,
                                           "Favorites", value);
  }

 private:
  TempDir scratch_;
  ScopedEnv registry_dir_;
  std::string old_;
  bool had_old_ = false;
};

TEST(FindFavoritesDirectory, ExpandsReferencesAndNeverOverruns) {
  TempDir profile;
  ScopedEnv user_profile("USERPROFILE", profile.path());
  FavoritesValue value;
  // Only the Linux store can lack the value: the Windows one is the system's.
  if (!running_on_windows()) {
    Destination missing;
    find_favorites_directory(missing.bytes);
    EXPECT_EQ(missing.text(), "");
  }
  // A value too long for the 1000 bytes, as stored or once expanded, leaves a
  // path that names no folder of the user's, so only its bounds are held:
  // nothing written past them, and nothing that is not the value's own.
  const std::string long_tail = "\\" + std::string(1500, 'f');
  const struct {
    std::string stored, whole;
    bool fits;
  } cases[] = {
      {"%USERPROFILE%\\Favorites", profile.path() + "\\Favorites", true},
      {"D:\\Shared\\Favs", "D:\\Shared\\Favs", true},
      {"C:" + long_tail, "C:" + long_tail, false},
      {"%USERPROFILE%" + long_tail, profile.path() + long_tail, false},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(value.set(c.stored));
    Destination destination;
    find_favorites_directory(destination.bytes);
    const std::string text = destination.text();
    EXPECT_LT(text.size(), 1000u);
    EXPECT_TRUE(destination.guard_intact());
    if (c.fits) {
      EXPECT_EQ(text, c.whole);
    } else {
      EXPECT_EQ(c.whole.rfind(text, 0), 0u) << text.substr(0, 40);
    }
  }
}

// A profiles folder of the test's own. On Linux HOME is moved to a test
// folder; on Windows the application-data folder cannot be moved, so the test
// works in the real one and only when it holds no Mozilla folder yet (a wine
// prefix made for the tests), removing everything it made.
class FirefoxProfiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (running_on_windows()) {
      profiles_ = platform::firefox_profiles_folder();
      mozilla_ = fs::path(profiles_).parent_path().parent_path();
      if (mozilla_.filename() != "Mozilla" || fs::exists(mozilla_))
        GTEST_SKIP() << "the application-data folder already has a Mozilla folder";
      fs::create_directories(profiles_);
      made_mozilla_ = true;
    } else {
      home_ = std::make_unique<ScopedEnv>("HOME", home_dir_.path());
      profiles_ = platform::firefox_profiles_folder();
      fs::create_directories(fs::path(home_dir_.file(".mozilla/firefox")));
    }
  }
  void TearDown() override {
    std::error_code ec;
    if (made_mozilla_) fs::remove_all(mozilla_, ec);
  }
  // A file or folder inside the profiles folder.
  std::string in_profiles(const std::string& relative) const {
    std::string native = relative;
    if (running_on_windows())
      for (char& c : native)
        if (c == '/') c = '\\';
    return profiles_ + (running_on_windows() ? "\\" : "/") + native;
  }
  void make_profile(const std::string& name) { fs::create_directories(in_profiles(name)); }
  void make_file(const std::string& relative, const std::string& content = "<DL>") {
    platform::File file = platform::open_file(in_profiles(relative),
                                              platform::FileAccess::create_truncate);
    file.write(content.data(), content.size());
  }
  std::string first_default_match() const {
    platform::DirListing listing;
    platform::DirEntry entry;
    if (listing.open(profiles_ + "\\*default*") && listing.next(entry)) return entry.name;
    return "";
  }

  TempDir home_dir_;
  std::unique_ptr<ScopedEnv> home_;
  std::string profiles_;
  fs::path mozilla_;
  bool made_mozilla_ = false;
};

TEST_F(FirefoxProfiles, FindsTheBookmarkFileOfTheDefaultProfile) {
  // Windows opens the fixed upper-case name whatever case the file has;
  // elsewhere the name is the file's own.
  const bool windows = running_on_windows();
  const struct {
    const char* what;
    std::vector<const char*> files;
    std::string found;  // inside the profiles folder; empty: not found
  } cases[] = {
      {"the default profile's file", {"ab12cd.default/bookmarks.html", "other/bookmarks.html"},
       windows ? "ab12cd.default\\BOOKMARKS.HTML" : "ab12cd.default\\bookmarks.html"},
      {"a file name in mixed case", {"x.default-release/BookMarks.Html"},
       windows ? "x.default-release\\BOOKMARKS.HTML" : "x.default-release\\BookMarks.Html"},
      {"no profile named default", {"release/bookmarks.html"}, ""},
      {"a default profile without the file", {"solo.default/places.sqlite"}, ""},
      {"a file named default", {"notes.default"}, ""},
      {"no profiles folder at all", {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::error_code ec;
    fs::remove_all(profiles_, ec);
    if (!c.files.empty()) fs::create_directories(profiles_);
    for (const std::string file : c.files) {
      fs::create_directories(fs::path(in_profiles(file)).parent_path());
      make_file(file);
    }
    Destination destination;
    const bool found = find_firefox_bookmark_file(destination.bytes);
    EXPECT_EQ(found, !c.found.empty());
    if (found) {
      EXPECT_EQ(destination.text(), profiles_ + "\\" + c.found);
    }
    EXPECT_TRUE(destination.guard_intact());
  }
}

// The lookup stands or falls with the first profile that the platform lists.
TEST_F(FirefoxProfiles, OnlyTheFirstListedMatchIsTried) {
  make_profile("old.default");
  make_profile("new.default-release");
  make_file("new.default-release/bookmarks.html");
  const std::string first = first_default_match();
  ASSERT_FALSE(first.empty());
  Destination destination;
  EXPECT_EQ(find_firefox_bookmark_file(destination.bytes), first == "new.default-release");
}

}  // namespace
