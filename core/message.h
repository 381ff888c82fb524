// The message routine: standard output in console mode, else a message box
// with the product name as caption, owned by the main window.
#pragma once

#include <string>

#include "platform/platform.h"

void show_message(const char* text, platform::MessageIcon icon);
// The same for a message after which the console goes on with lines of its
// own: there the text ends with a line break.
void show_message_line(const std::string& text, platform::MessageIcon icon);
