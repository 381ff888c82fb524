#include "tests/support/console_transcript.h"

#include <cstdio>
#include <cstring>
#include <regex>

#include "tests/support/temp_dir.h"

namespace transcript {

const char kBanner[] =
    "Lorvane 2.3 Command line version.\r\n"
    "Copyright (C) 2026 Lorvane developers. All rights reserved.\r\n"
    "You can run this console from command line with -cmd switch.\r\n"
    "\r\n";
const char kResumeQuestion[] =
    "Enter project name to be resumed, or press <Enter> to create a new project:\r\n";
const char kSourceMenu[] =
    "Please choose:\r\n"
    "1 - I use MS IE, please find favorites for me\r\n"
    "2 - I want to specify a directory that has IE favorites\r\n"
    "3 - I want to choose a Firefox bookmark file\r\n"
    "4 - I use Firefox, find its bookmark file for me.\r\n";
const char kDirectoryQuestion[] = "Please choose MS IE favorites directory: ";
const char kBookmarkFileQuestion[] = "Please choose Bookmark file: ";
const char kNameQuestion[] = "Enter a name for this project: ";
const char kThreadsQuestion[] = "Enter total threads (1-10) for this project: ";
const char kRunning[] = "Running...\r\n";
const char kSaveMenu[] =
    "Scanning completed.\r\nPlease enter saving method:\r\n"
    "1 - Save over old IE bookmarks\r\n"
    "2 - Save to a directory I will choose\r\n"
    "3 - Export to FireFox\r\n"
    "4 - Export to a bookmark file\r\n";
const char kTargetDirectoryQuestion[] = "Please choose target directory: ";
const char kTargetFileQuestion[] = "Please choose target file: ";
const char kDone[] = "Lorvane done!\r\n";
const char kFirefoxSourceFailure[] = "Firefox bookmarks cannot be located automatically!\r\n";
const char kFirefoxSaveFailure[] =
    "Firefox bookmarks cannot be located automatically in your system!\r\n";

std::string summary(unsigned total, unsigned checked, unsigned quarantined, unsigned fixed,
                    unsigned threads) {
  char text[300];
  std::snprintf(text, sizeof text,
                "Total Favs:\t%u.\r\nFavs Checked: \t%u.\r\nQuarantined: \t%u.\r\n"
                "Favs Fixed: \t%u.\r\nThreads: \t%u.\r\n",
                total, checked, quarantined, fixed, threads);
  return text;
}

namespace {
const std::regex& progress_pattern() {
  static const std::regex pattern("([0-9]+)/([0-9]+) favorites scanned \\(([0-9]+)%\\)\\.\\.\\.\r\n");
  return pattern;
}
}  // namespace

std::vector<std::string> progress_lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::sregex_iterator it(text.begin(), text.end(), progress_pattern()), end; it != end; ++it)
    lines.push_back(it->str());
  return lines;
}

std::string without_progress(const std::string& text) {
  return std::regex_replace(text, progress_pattern(), "");
}

}  // namespace transcript

std::string bookmark_file_text(const std::vector<std::pair<std::string, std::string>>& links) {
  std::string text =
      "<!DOCTYPE NETSCAPE-Bookmark-file-1>\r\n"
      "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\r\n"
      "<TITLE>Bookmarks</TITLE>\r\n<H1>Bookmarks</H1>\r\n<DL><p>\r\n";
  for (const auto& link : links)
    text += "    <DT><A HREF=\"" + link.second + "\">" + link.first + "</A>\r\n";
  text += "</DL><p>\r\n";
  return text;
}

std::string shortcut_text(const std::string& url) {
  return "[InternetShortcut]\r\nURL=" + url + "\r\n";
}

ProjectHeader project_header(const std::string& file) {
  ProjectHeader header;
  std::memset(&header, 0, sizeof header);
  const std::string bytes = TempDir::read(file);
  if (bytes.size() >= kHeaderSize)
    decode_header(reinterpret_cast<const unsigned char*>(bytes.data()), header);
  return header;
}
