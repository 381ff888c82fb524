// Names of the temporary files that stand in for a file until it is whole.
#include <atomic>
#include <string>

#include "platform/platform.h"

namespace platform {

std::string temporary_path_beside(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  // A short name of its own rather than the target's name plus a suffix: a
  // target whose name is already as long as the file system allows must
  // still get a temporary file.
  const size_t slash = target.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  return folder + "lvn-" + std::to_string(process_id()) + "-" +
         std::to_string(counter.fetch_add(1)) + kTemporarySuffix;
}

bool is_temporary_name(const std::string& name) {
  const size_t suffix = sizeof kTemporarySuffix - 1;
  return name.size() > suffix && name.compare(name.size() - suffix, suffix, kTemporarySuffix) == 0;
}

void remove_stale_temporaries(const std::string& folder) {
  const std::string base =
      folder.empty() || folder.back() == '\\' || folder.back() == '/' ? folder : folder + "\\";
  DirListing listing;
  if (!listing.open(base + "*" + kTemporarySuffix)) return;
  DirEntry entry;
  while (listing.next(entry))
    if (!entry.is_directory && is_temporary_name(entry.name)) delete_file(base + entry.name);
}

}  // namespace platform
