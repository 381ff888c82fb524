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

void show_message_line(const std::string& text, platform::MessageIcon icon) {
  show_message(console_mode ? (text + "\r\n").c_str() : text.c_str(), icon);
}
