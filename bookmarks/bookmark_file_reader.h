// Reads a Netscape-format bookmark file into the new project file, one record
// per link, in document order.
#pragma once

#include <cstddef>
#include <string>

#include "core/records.h"

// Reads the file and appends its links to project_stream.
void read_bookmark_file(const char* path);

// Replaces every ? * / : " > < | with '_', in place.
void sanitise_name(char* name);

// Appends folder `name` (cut to 999 characters) to a backslash-separated
// folder path, as every bookmark source builds its paths.
void open_folder(std::string& path, const char* name, size_t length);

// Fills the record of one link in folder path `folder`: its URL and its path,
// the folder, a backslash and the sanitised link text with ".URL", each cut to
// fit its field. Everything else is zero.
void make_link_record(LVK_URL& record, const std::string& folder, const char* url,
                      size_t url_length, const char* text, size_t text_length);
