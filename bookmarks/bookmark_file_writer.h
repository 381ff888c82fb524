// Writing a project's results as a Netscape-format bookmark file.
#pragma once

// Rebuilds the bookmark file named by output_location from the records of
// the project named by project_path: folders from each record's path, kept
// and fixed bookmarks in their folders, every removed or fixed one again in a
// closing "Dead Links" folder. The file is replaced whole or not at all. An
// unreadable project writes nothing; an output file that cannot be written
// whole is reported with a message box, and the old file stays as it was.
void write_bookmark_file();
