#include "gui/page_store.h"

#include <cstring>
#include <string>

#include "bookmarks/save_results.h"
#include "checker/statistics.h"
#include "core/app_commands.h"
#include "core/ascii.h"
#include "core/globals.h"
#include "gui/wizard_window.h"
#include "platform/platform.h"

const PageEntry kPageSet[] = {
    {"cgi.htm", "HTM_C"}, {"1.htm", "HTM_1"}, {"2.htm", "HTM_2"},   {"3.htm", "HTM_3"},
    {"4.htm", "HTM_4"},   {"5.htm", "HTM_5"}, {"7.htm", "HTM_7"},   {"8.htm", "HTM_8"},
    {"9.htm", "HTM_9"},   {"i1.htm", "I_1"},  {"eula.htm", "EULA"}, {"help.htm", "HELP"},
};
const size_t kPageCount = sizeof kPageSet / sizeof kPageSet[0];

namespace {

// The statistics table fits well within this; a longer one is cut here.
constexpr size_t kSummarySize = 10000;
constexpr size_t kMostAddedByFill = 5000;

std::string page_file(const char* name) { return std::string(".\\") + name; }

const PageEntry* find_page(const char* name) {
  for (const PageEntry& page : kPageSet)
    if (equal_ignoring_case(page.file, std::strlen(page.file), name, std::strlen(name)))
      return &page;
  return nullptr;
}

bool write_whole(const std::string& path, const std::string& bytes) {
  platform::File file = platform::open_file(path, platform::FileAccess::create_truncate);
  return file.is_open() && file.write(bytes.data(), bytes.size());
}

// The page with the statistics of this moment in place of its "%s", always
// made from the page as carried, never from an earlier fill.
// False when the page file is not there to be filled: then nothing is shown.
bool fill_page(const PageEntry& page) {
  const std::string path = page_file(page.file);
  std::string text;
  if (!platform::file_readable(path) || !platform::load_data_resource(page.resource, text))
    return false;
  platform::delete_file(path);

  char summary[kSummarySize];
  summary[0] = '\0';
  write_summary(summary, sizeof summary);
  std::string statistics(summary);
  if (statistics.size() > kMostAddedByFill) statistics.resize(kMostAddedByFill);

  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, statistics);
  // A file that cannot be written stays missing; the browser says so.
  if (!write_whole(path, text)) platform::delete_file(path);
  return true;
}

void finish_wizard() {
  save_results();
  platform::message_box(main_window, "Thanks for using Lorvane 2.5!", "Lorvane!",
                        platform::MessageIcon::information);
  if (wizard_window) wizard_window->send_app_command(app_finish);
}

}  // namespace

bool resource_to_file(const char* file, const char* resource) {
  std::string bytes;
  if (!platform::load_data_resource(resource, bytes)) return false;
  const std::string path = page_file(file);
  if (write_whole(path, bytes)) return true;
  platform::delete_file(path);
  return false;
}

void extract_pages() {
  for (const PageEntry& page : kPageSet) resource_to_file(page.file, page.resource);
}

void remove_pages() {
  for (const PageEntry& page : kPageSet) platform::delete_file(page_file(page.file));
}

void show_page(const char* name, bool fill) {
  if (equal_ignoring_case(name, std::strlen(name), "end.htm", 7)) {
    finish_wizard();
    return;
  }
  if (!wizard_window) return;
  if (fill) {
    const PageEntry* page = find_page(name);
    if (!page || !fill_page(*page)) return;
  }
  // The folder is taken whole: a path cut short would name another file.
  std::string path = platform::current_directory();
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
  wizard_window->navigate(path + name);
}
