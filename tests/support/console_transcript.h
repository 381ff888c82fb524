// What the console dialogue prints, as the tests expect it, and helpers to
// build its inputs and read its outputs.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/records.h"

namespace transcript {

// The fixed texts of the dialogue, byte for byte.
extern const char kBanner[];
extern const char kResumeQuestion[];
extern const char kSourceMenu[];
extern const char kDirectoryQuestion[];
extern const char kBookmarkFileQuestion[];
extern const char kNameQuestion[];
extern const char kThreadsQuestion[];
extern const char kRunning[];
extern const char kSaveMenu[];
extern const char kTargetDirectoryQuestion[];
extern const char kTargetFileQuestion[];
extern const char kDone[];
extern const char kFirefoxSourceFailure[];
extern const char kFirefoxSaveFailure[];

// "Total Favs:\t%u.\r\n..." with the five numbers.
std::string summary(unsigned total, unsigned checked, unsigned quarantined, unsigned fixed,
                    unsigned threads);

// The progress lines of a transcript, and the transcript without them.
std::vector<std::string> progress_lines(const std::string& text);
std::string without_progress(const std::string& text);

}  // namespace transcript

// A Netscape bookmark file holding the links (title, URL) at its top level.
std::string bookmark_file_text(const std::vector<std::pair<std::string, std::string>>& links);
// An Internet Shortcut file's text for the URL.
std::string shortcut_text(const std::string& url);

// The header of a project file; all zero when the file is missing or short.
ProjectHeader project_header(const std::string& file);
