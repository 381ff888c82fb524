// Reads a Netscape-format bookmark file into the new project file, one record
// per link, in document order.
#pragma once

#include <cstddef>

// Reads the file and appends its links to project_stream.
void read_bookmark_file(const char* path);

// Replaces every ? * / : " > < | with '_', in place.
void sanitise_name(char* name);
