// The save step that both front ends run at the end of a project.
#pragma once

#include <cstdint>

// The values of output_mode.
enum OutputMode : uint32_t {
  output_nothing = 0,
  output_bookmark_file = 1,
  output_favorites_tree = 2,
  output_chromium_file = 3,
  output_firefox_backup = 4,
};

// Writes the current project's results as output_mode says: a bookmark
// file at output_location, a favorites tree below it, the Chromium bookmarks
// file there, a Firefox bookmark backup there, or (any other value) nothing. Dead bookmarks of a tree that
// could not be moved into Dead Links are counted to the user.
void save_results();
