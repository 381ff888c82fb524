#include "core/message.h"

#include <cstdio>

#include "core/globals.h"

void show_message(const char* text, platform::MessageIcon icon) {
  if (console_mode) {
    std::fputs(text, stdout);
    std::fflush(stdout);
    return;
  }
  platform::message_box(main_window, text, kProductName, icon);
}
