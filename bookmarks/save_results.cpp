#include "bookmarks/save_results.h"

#include <string>

#include "bookmarks/bookmark_file_writer.h"
#include "bookmarks/chromium_writer.h"
#include "bookmarks/favorites_writer.h"
#include "bookmarks/places_backup_writer.h"
#include "core/globals.h"
#include "core/message.h"

namespace {

// Dead bookmarks that kept their place because no copy could be made in
// Dead Links are never left unmentioned.
void report_not_moved(size_t count) {
  if (count == 0) return;
  show_message_line(
      std::to_string(count) +
          (count == 1 ? " bookmark could not be moved to Dead Links and was left in place."
                      : " bookmarks could not be moved to Dead Links and were left in place."),
      platform::MessageIcon::warning);
}

}  // namespace

void save_results() {
  switch (output_mode) {
    case output_bookmark_file:
      write_bookmark_file();
      break;
    case output_favorites_tree:
      report_not_moved(write_favorites_tree());
      break;
    case output_chromium_file:
      write_chromium_bookmarks();
      break;
    case output_firefox_backup:
      write_firefox_backup();
      break;
    default:
      break;
  }
}
