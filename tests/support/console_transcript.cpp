#include "tests/support/console_transcript.h"

std::string shortcut_text(const std::string& url) {
  return "[InternetShortcut]\r\nURL=" + url + "\r\n";
}
