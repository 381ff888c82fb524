// The item list: the records of the current project that one "View" link of
// the statistics table names, and Recover, which puts chosen ones back.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// The rows of view 15 (every record), 16 (checked), 17 (deleted), 18
// (quarantined) or 19 (fixed) of the project file at `path`, numbered from
// 1, each with its record's position in the file as its entry. Empty when
// the file cannot be read; a partial record at the end is not listed.
std::vector<platform::ItemRow> list_items(const char* path, unsigned view);
// Makes the records at the given entries valid again (checked, no result,
// kept), every other byte as it was; gives, per entry, whether its record
// was rewritten.
std::vector<bool> recover_items(const char* path, const std::vector<std::string>& entries);
// True for the links the item list may hand to the user's browser: http,
// https and ftp. Anything else, a program path or a share, is never run.
bool is_web_address(const std::string& url);

// Opens the item list dialog of the view over project_path.
void show_item_list(unsigned view);
