// The message routine: standard output in console mode, else a message box
// with the product name as caption, owned by the main window.
#pragma once

#include "platform/platform.h"

void show_message(const char* text, platform::MessageIcon icon);
