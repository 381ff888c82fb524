// Reads a favorites tree (folders of Internet Shortcut files) into the new
// project file, one record per file, depth-first in listing order.
#pragma once

// Walks `name` below `parent` (or `name` itself when parent is null),
// appending one record per file to project_stream.
void walk_favorites_tree(const char* name, const char* parent);
