// Writing a project's results as a tree of Internet Shortcut files.
#pragma once

#include <cstddef>
#include <string>

// Applies every checked bookmark's outcome to the tree below output_location:
// good ones are written where missing, fixed ones rewritten, dead ones
// copied into "Dead Links" there and removed only once the copy is whole.
// Nothing outside output_location but its missing parent folders is ever
// created, changed or deleted. Returns how many dead bookmarks have no copy
// in Dead Links (they were left where they were).
size_t write_favorites_tree();

// A record's relative path made safe to place below the output folder, with
// backslashes between its components. A '/' inside a name (a bookmark
// file's folder "AC/DC") becomes '_', so the name stays one folder. Each
// component that would not name an ordinary entry of its own inside its
// parent is mended with '_': an empty one becomes "_" and "." and ".." have
// each dot replaced; under Windows name rules so have trailing dots and
// blanks ("...", "News "), and the characters Windows refuses in names
// ("C:", "a*b") but '?'. `mended`, when given, tells whether anything changed.
std::string contained_relative_path(const std::string& path, bool* mended = nullptr);
