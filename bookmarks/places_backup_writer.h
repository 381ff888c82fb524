// Writing a project's results as a bookmark backup that Firefox restores
// (Bookmarks > Manage > Import and Backup > Restore > Choose File...).
#pragma once

// Writes the JSON backup named by output_location: the tree of the
// project's source database with every field it holds, quarantined bookmarks
// moved into a "Dead Links" folder of Other Bookmarks, fixed ones with their
// new URL, deleted ones left out. Nothing is written, and the user is told
// why, when the project was not made from a bookmark database, the database
// cannot be read, or its bookmarks changed since the project was made. The
// file is replaced whole or not at all.
void write_firefox_backup();
