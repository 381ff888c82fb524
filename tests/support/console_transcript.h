// Bookmark sources for the tests: a Netscape bookmark file and an Internet
// Shortcut file's text.
#pragma once

#include <string>
#include <utility>
#include <vector>

// A bookmark file holding the links (title, URL) at its top level.
std::string bookmark_file_text(const std::vector<std::pair<std::string, std::string>>& links);
std::string shortcut_text(const std::string& url);
