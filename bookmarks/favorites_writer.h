// Writing a project's results as a tree of Internet Shortcut files.
#pragma once

#include <string>

// Applies every checked bookmark's outcome to the tree below output_location:
// good ones are written where missing, fixed ones rewritten, dead ones
// removed; removed and fixed ones are also copied into "Dead Links" there.
// Nothing outside output_location is ever created, changed or deleted.
void write_favorites_tree();

// Creates every directory named by `path` up to, not including, its last
// component (one per backslash, left to right); failures are ignored.
void create_folder_chain(const std::string& path);

// Writes a shortcut to `url` directly inside `dead_links_folder`, named like
// the last component of `target_path`. Skipped when the name would not fit a
// 1000-byte path.
void write_dead_link_copy(const std::string& dead_links_folder, const std::string& target_path,
                          const std::string& url);

// The shortcut content: "DEFAULT"/"BASEURL" first, then
// "InternetShortcut"/"URL", other sections and keys of the file kept.
void write_shortcut(const std::string& file, const std::string& url);

// A record's relative path made safe to place below the output folder. Both
// '\' and '/' separate folders to the file systems, so both split it; each
// component that would not name an ordinary entry inside its parent is
// mended: an empty one becomes "_", one of dots and blanks only ("..", ".")
// has each of its characters replaced by '_', and a drive prefix ("C:") has
// its colon replaced by '_'. The components are joined with backslashes;
// ordinary names come back unchanged.
std::string contained_relative_path(const std::string& path);
