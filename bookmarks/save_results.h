// The save step that both front ends run at the end of a project.
#pragma once

// Writes the current project's results as output_mode says: 1 a bookmark
// file at output_location, 2 a favorites tree below it, anything else
// nothing. Dead bookmarks of a tree that could not be moved into Dead
// Links are counted to the user.
void save_results();
