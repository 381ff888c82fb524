// Reads a Netscape-format bookmark file into the new project file, one record
// per link, in document order.
#pragma once

#include <cstddef>
#include <string>

#include "core/records.h"

// Reads the file and appends its links to project_stream.
void read_bookmark_file(const char* path);

// The folder path of the folder named `name` inside `folders`: a backslash
// between the two unless `folders` is empty or already ends in one.
void enter_folder(std::string& folders, const char* name, size_t length);

// The record of one link inside `folders`, pending: the URL cut to 999
// characters; the path the folders, a backslash when needed, and the link
// text with ".URL" appended and sanitised, cut before its ".URL" so that it
// fits.
void make_link_record(const std::string& folders, const char* url, size_t url_length,
                      const char* text, size_t text_length, LVK_URL& record);

// Replaces every ? * / : " > < | with '_', in place.
void sanitise_name(char* name);
