#include "core/ascii.h"
#include "bookmarks/browser_locations.h"

#include <string>

#include "core/records.h"
#include "platform/platform.h"

namespace {

constexpr size_t kDestinationSize = 1000;

constexpr const char* kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char* kBookmarkFileName = "BOOKMARKS.HTML";
constexpr const char* kDatabaseName = "places.sqlite";
// profiles.ini is a few lines; more than this is not one.
constexpr size_t kIniLimit = 1 << 20;

bool fits(const std::string& path) { return path.size() < kDestinationSize; }

// The profile's bookmark file. Windows matches file names without regard to
// case, so the fixed name opens whatever case it is stored in; elsewhere the
// folder is searched for an entry with that name in any case.
std::string bookmark_file_in(const std::string& profile) {
  const std::string exact = profile + "\\" + kBookmarkFileName;
  if (platform::file_readable(exact)) return exact;
  platform::DirListing listing;
  if (!listing.open(profile + "\\*")) return exact;
  platform::DirEntry entry;
  while (listing.next(entry))
    if (!entry.is_directory && equal_ignoring_case(entry.name, kBookmarkFileName))
      return profile + "\\" + entry.name;
  return exact;
}

// The first profile folder whose name holds "default", or "" when none. Only
// the first match is tried, folder or not; a later one is never used.
std::string first_default_profile(const std::string& profiles) {
  const std::string pattern = profiles + "\\*default*";
  if (!fits(pattern)) return std::string();
  platform::DirListing listing;
  platform::DirEntry first;
  if (!listing.open(pattern) || !listing.next(first)) return std::string();
  return profiles + "\\" + first.name;
}

bool is_absolute(const std::string& path) {
  return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
         (path.size() > 1 && path[1] == ':');
}

// The profile that the first [Install...] section of profiles.ini names as
// its Default, or "" when there is none. Relative paths are relative to the
// folder of profiles.ini and use '/'.
std::string install_default_profile(const std::string& firefox) {
  const std::string ini = firefox + "\\profiles.ini";
  // Only a regular file is read: a FIFO there would never end.
  platform::DirListing listing;
  platform::DirEntry entry;
  if (!listing.open(ini) || !listing.next(entry) || !entry.is_file) return std::string();
  platform::File file = platform::open_file(ini, platform::FileAccess::read);
  if (!file.is_open()) return std::string();
  std::string text(kIniLimit, '\0');
  text.resize(file.read(&text[0], kIniLimit));
  bool in_install = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty() && line[0] == '[') {
      in_install = line.size() > 8 && equal_ignoring_case(line.substr(1, 7), "Install");
      continue;
    }
    const size_t equals = line.find('=');
    if (!in_install || equals == std::string::npos ||
        !equal_ignoring_case(line.substr(0, equals), "Default") || equals + 1 == line.size())
      continue;
    std::string path = line.substr(equals + 1);
    for (char& c : path)
      if (c == '/') c = '\\';
    return is_absolute(path) ? path : firefox + "\\" + path;
  }
  return std::string();
}

}  // namespace

void find_favorites_directory(char* destination) {
  std::string value;
  if (!platform::registry_read_string(platform::RegistryRoot::current_user, kShellFoldersKey,
                                      "Favorites", value))
    value.clear();
  // The value is read into a 1000-byte buffer, and so is its expansion.
  if (value.size() >= kDestinationSize) value.resize(kDestinationSize - 1);
  copy_field(destination, kDestinationSize, platform::expand_environment(value));
}

bool find_firefox_bookmark_file(char* destination) {
  const std::string profiles = platform::firefox_profiles_folder();
  copy_field(destination, kDestinationSize, profiles);

  const std::string profile = first_default_profile(profiles);
  if (profile.empty()) return false;
  const std::string candidate = bookmark_file_in(profile);
  if (!fits(candidate)) return false;
  platform::File file = platform::open_file(candidate, platform::FileAccess::read);
  if (!file.is_open()) return false;
  file.close();

  copy_field(destination, kDestinationSize, candidate);
  return true;
}

bool find_firefox_places_database(char* destination) {
  const std::string profiles = platform::firefox_profiles_folder();
  // On Windows the profiles live in "Profiles" beside profiles.ini; on Linux
  // the folder itself holds both.
  const size_t slash = profiles.find_last_of('\\');
  const bool in_subfolder =
      slash != std::string::npos && equal_ignoring_case(profiles.substr(slash + 1), "Profiles");
  const std::string firefox = in_subfolder ? profiles.substr(0, slash) : profiles;
  for (const std::string& profile :
       {install_default_profile(firefox), first_default_profile(profiles)}) {
    if (profile.empty()) continue;
    const std::string candidate = profile + "\\" + kDatabaseName;
    if (fits(candidate) && platform::file_readable(candidate)) {
      copy_field(destination, kDestinationSize, candidate);
      return true;
    }
  }
  return false;
}
