#include "tests/support/console_transcript.h"

std::string bookmark_file_text(const std::vector<std::pair<std::string, std::string>>& links) {
  std::string text =
      "<!DOCTYPE NETSCAPE-Bookmark-file-1>\r\n"
      "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\r\n"
      "<TITLE>Bookmarks</TITLE>\r\n<H1>Bookmarks</H1>\r\n<DL><p>\r\n";
  for (const auto& link : links)
    text += "    <DT><A HREF=\"" + link.second + "\">" + link.first + "</A>\r\n";
  return text + "</DL><p>\r\n";
}

std::string shortcut_text(const std::string& url) {
  return "[InternetShortcut]\r\nURL=" + url + "\r\n";
}
