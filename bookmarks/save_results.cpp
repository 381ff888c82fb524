#include "bookmarks/save_results.h"

#include "bookmarks/bookmark_file_writer.h"
#include "bookmarks/favorites_writer.h"
#include "core/globals.h"

void save_results() {
  switch (output_mode) {
    case 1:
      write_bookmark_file();
      break;
    case 2:
      write_favorites_tree();
      break;
    default:
      break;
  }
}
