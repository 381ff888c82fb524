// An Internet Shortcut file's text.
#pragma once

#include <string>

std::string shortcut_text(const std::string& url);
