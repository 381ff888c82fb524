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

  const std::string pattern = profiles + "\\*default*";
  if (!fits(pattern)) return false;
  platform::DirListing listing;
  if (!listing.open(pattern)) return false;
  // Only the first match is tried, folder or not; a later one is never used.
  platform::DirEntry first;
  if (!listing.next(first)) return false;
  listing.close();

  const std::string candidate = bookmark_file_in(profiles + "\\" + first.name);
  if (!fits(candidate)) return false;
  platform::File file = platform::open_file(candidate, platform::FileAccess::read);
  if (!file.is_open()) return false;
  file.close();

  copy_field(destination, kDestinationSize, candidate);
  return true;
}
