// Writing a project's results back over the Chromium bookmarks file that the
// project was made from.
#pragma once

#include <string>

// The backup of a bookmarks file, kept beside it: "Bookmarks.lvn-backup".
std::string chromium_backup_path(const std::string& file);

// Told when the save back over a browser's bookmarks is asked for a project
// that was not made from them.
extern const char kNotChromiumProject[];

// True when the project named by project_path was made from a Chromium
// bookmarks file that is still there.
bool project_source_is_chromium();
// Aims the save at that file: output_location is the project's source and
// output_mode output_chromium_file. False, and nothing set, when the project
// was not made from one.
bool select_chromium_output();

// Rewrites the bookmarks file named by output_location from the records of
// the project named by project_path. Every node and field stays as it was,
// but for the dead bookmarks: quarantined ones move into a "Dead Links"
// folder under "Other bookmarks", deleted ones go, fixed ones get their new
// URL; the checksum is made anew. The old file is first copied to its
// backup, then replaced in one step. Writes nothing, and says why, while the
// browser runs, when the file no longer holds the project's bookmarks, or
// when it cannot be read. True when the file was written.
bool write_chromium_bookmarks();
