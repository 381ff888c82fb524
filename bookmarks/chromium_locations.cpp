#include "bookmarks/chromium_locations.h"

#include <string>

#include "core/records.h"
#include "platform/platform.h"

namespace {

constexpr size_t kDestinationSize = 1000;

// The user data folders below the local application-data folder: the
// Windows layout first, then the Linux one (each platform has only its own).
constexpr const char* kUserDataFolders[] = {
    "Google\\Chrome\\User Data",
    "Microsoft\\Edge\\User Data",
    "Chromium\\User Data",
    "BraveSoftware\\Brave-Browser\\User Data",
    "Vivaldi\\User Data",
    "google-chrome",
    "microsoft-edge",
    "chromium",
    "BraveSoftware\\Brave-Browser",
    "vivaldi",
};

bool take(const std::string& candidate, char* destination) {
  if (candidate.size() >= kDestinationSize || !platform::file_readable(candidate)) return false;
  copy_field(destination, kDestinationSize, candidate);
  return true;
}

}  // namespace

bool find_chromium_bookmark_file(char* destination) {
  const std::string base = platform::local_application_data_folder();
  if (base.empty()) return false;
  for (const char* folder : kUserDataFolders) {
    const std::string user_data = base + "\\" + folder;
    if (take(user_data + "\\Default\\Bookmarks", destination)) return true;
    platform::DirListing listing;
    if (!listing.open(user_data + "\\*")) continue;
    platform::DirEntry entry;
    while (listing.next(entry))
      if (entry.is_directory && entry.name != "." && entry.name != ".." &&
          take(user_data + "\\" + entry.name + "\\Bookmarks", destination))
        return true;
  }
  return false;
}
