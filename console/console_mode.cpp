#include "console/console_mode.h"

#include <cstdarg>
#include <cstring>

#include "bookmarks/browser_locations.h"
#include "bookmarks/chromium_locations.h"
#include "bookmarks/chromium_writer.h"
#include "bookmarks/save_results.h"
#include "checker/statistics.h"
#include "console/answer_reader.h"
#include "console/run_progress.h"
#include "core/ascii.h"
#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"
#include "platform/platform.h"

namespace {

// Longest answer kept for each kind of question.
constexpr size_t kProjectAnswer = 99;
constexpr size_t kChoiceAnswer = 24;
constexpr size_t kPathAnswer = 255;
constexpr size_t kNameAnswer = 99;
constexpr size_t kSummarySize = 2000;

void say(const ConsoleStreams& io, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(io.out, format, arguments);
  va_end(arguments);
  std::fflush(io.out);
}

void pause_and_flush(const ConsoleStreams& io) {
  std::fflush(io.out);
  io.pause();
}

long ask_number(const ConsoleStreams& io, size_t limit) {
  char answer[kProjectAnswer + 1];
  read_answer(io.in, answer, limit < kProjectAnswer ? limit : kProjectAnswer);
  // A count typed far too large must not wrap around to a small one.
  return leading_decimal(answer, sizeof answer, Overflow::saturate);
}

// A typed path goes straight into a 1000-character program-wide buffer.
void ask_path(const ConsoleStreams& io, char* destination) {
  read_answer(io.in, destination, kPathAnswer);
}

// Gives true when the answer names a project file that opens; project_path
// then holds it.
bool ask_project_to_resume(const ConsoleStreams& io) {
  say(io, "Enter project name to be resumed, or press <Enter> to create a new project:\r\n");
  char answer[kProjectAnswer + 1];
  read_answer(io.in, answer, kProjectAnswer);
  char candidate[kProjectAnswer + 5];
  std::strcpy(candidate, answer);
  if (!has_project_extension(candidate)) std::strcat(candidate, ".lvn");
  if (!platform::file_readable(candidate)) return false;
  copy_field(project_path, sizeof project_path, candidate);
  return true;
}

// Gives false when the Firefox lookup failed and the dialogue must end.
bool ask_source(const ConsoleStreams& io) {
  say(io,
      "Please choose:\r\n"
      "1 - I use MS IE, please find favorites for me\r\n"
      "2 - I want to specify a directory that has IE favorites\r\n"
      "3 - I want to choose a Firefox bookmark file\r\n"
      "4 - I use Firefox, find its bookmark file for me.\r\n"
      "5 - I use Chrome, Edge or another Chromium browser, find its bookmarks for me\r\n"
      "6 - I use Firefox, find its bookmark database for me\r\n");
  const long choice = ask_number(io, kChoiceAnswer);
  switch (choice) {
    case 1:
      find_favorites_directory(source_path);
      say(io, "Using directory: %s\r\n", source_path);
      break;
    case 2:
      say(io, "Please choose MS IE favorites directory: ");
      ask_path(io, source_path);
      say(io, "Using directory: %s\r\n", source_path);
      break;
    case 3:
      say(io, "Please choose Bookmark file: ");
      ask_path(io, source_path);
      say(io, "Using file: %s\r\n", source_path);
      break;
    case 4:
    case 6:  // the profile's bookmark file, or its bookmark database
      if (!(choice == 4 ? find_firefox_bookmark_file : find_firefox_places_database)(source_path)) {
        say(io, "Firefox bookmarks cannot be located automatically!\r\n");
        return false;
      }
      say(io, "Using file: %s\r\n", source_path);
      break;
    case 5:
      if (!find_chromium_bookmark_file(source_path)) {
        say(io, "Chromium browser bookmarks cannot be located automatically!\r\n"
                "Please choose Bookmarks file: ");
        ask_path(io, source_path);
      }
      say(io, "Using file: %s\r\n", source_path);
      break;
    default:
      break;
  }
  return true;
}

// Every new console project quarantines its dead links and gathers them in
// a Dead Links folder and on the desktop list.
void apply_console_settings() {
  on_http_error = quarantine;
  on_no_connection = quarantine;
  dead_links_folder = 1;
  dead_links_text = 1;
}

void ask_name_and_threads(const ConsoleStreams& io) {
  say(io, "Enter a name for this project: ");
  char answer[kNameAnswer + 1];
  read_answer(io.in, answer, kNameAnswer);
  if (answer[0] == '\0') {
    copy_field(project_path, sizeof project_path, "prj.lvn");
  } else {
    char name[kNameAnswer + 5];
    std::strcpy(name, answer);
    std::strcat(name, ".lvn");
    copy_field(project_path, sizeof project_path, name);
  }

  say(io, "Enter total threads (1-10) for this project: ");
  const long count = ask_number(io, kNameAnswer);
  threads = usable_thread_count(count);
}

// Gives false when the Firefox lookup failed: nothing is to be saved.
bool ask_output(const ConsoleStreams& io) {
  say(io,
      "Scanning completed.\r\nPlease enter saving method:\r\n"
      "1 - Save over old IE bookmarks\r\n"
      "2 - Save to a directory I will choose\r\n"
      "3 - Export to FireFox\r\n"
      "4 - Export to a bookmark file\r\n");
  // Offered only for a project made from a Chromium browser's bookmarks.
  if (project_source_is_chromium()) say(io, "5 - Save back over the Chromium browser's bookmarks\r\n");
  say(io, "6 - Write a Firefox bookmark backup to restore\r\n");
  switch (ask_number(io, kChoiceAnswer)) {
    case 1:
      find_favorites_directory(output_location);
      output_mode = output_favorites_tree;
      say(io, "Saving to: %s.\r\n", output_location);
      break;
    case 2:
      say(io, "Please choose target directory: ");
      ask_path(io, output_location);
      output_mode = output_favorites_tree;
      say(io, "Saving to: %s\r\n", output_location);
      break;
    case 3:
      if (!find_firefox_bookmark_file(output_location)) {
        say(io, "Firefox bookmarks cannot be located automatically in your system!\r\n");
        return false;
      }
      output_mode = output_bookmark_file;
      break;
    case 4:
      say(io, "Please choose target file: ");
      ask_path(io, output_location);
      output_mode = output_bookmark_file;
      say(io, "Saving to: %s\r\n", output_location);
      break;
    case 5:
      if (select_chromium_output())
        say(io, "Saving to: %s\r\n", output_location);
      else
        say(io, "%s\r\n", kNotChromiumProject);
      break;
    case 6:
      say(io, "Please choose target file: ");
      ask_path(io, output_location);
      output_mode = output_firefox_backup;
      say(io, "Saving to: %s\r\n", output_location);
      break;
    default:
      break;
  }
  return true;
}

}  // namespace

void run_console_dialogue(const ConsoleStreams& io) {
  say(io,
      "Lorvane 2.3 Command line version.\r\n"
      "Copyright (C) 2026 Lorvane developers. All rights reserved.\r\n"
      "You can run this console from command line with -cmd switch.\r\n"
      "\r\n");

  // HTTP 500 counts as dead in every console run, resumed ones included, so
  // a link gets the same outcome however its project was started.
  handle_500 = true;
  if (!ask_project_to_resume(io)) {
    if (!ask_source(io)) {
      pause_and_flush(io);
      return;
    }
    apply_console_settings();
    ask_name_and_threads(io);
  }

  char summary[kSummarySize];
  summary[0] = '\0';
  write_summary(summary, sizeof summary);
  summary[sizeof summary - 1] = '\0';
  say(io, "%s", summary);

  if (!create_project(false)) {
    // The reason is printed already, without a line end; no run goes on, so
    // there is nothing to wait for and nothing new to save.
    say(io, "\r\nThe run could not start.\r\n");
    pause_and_flush(io);
    return;
  }
  say(io, "Running...\r\n");
  watch_run(io.out);

  if (!ask_output(io)) {
    pause_and_flush(io);
    return;
  }
  save_results();
  say(io, "Lorvane done!\r\n");
  pause_and_flush(io);
}

void run_console_mode() {
  console_mode = true;
  platform::attach_console();
  run_console_dialogue(ConsoleStreams{stdin, stdout, platform::pause_console});
}
