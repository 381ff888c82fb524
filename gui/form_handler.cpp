#include "gui/form_handler.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "bookmarks/browser_locations.h"
#include "bookmarks/chromium_locations.h"
#include "bookmarks/chromium_writer.h"
#include "bookmarks/save_results.h"
#include "core/ascii.h"
#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"
#include "gui/page_store.h"
#include "gui/wizard_window.h"
#include "platform/platform.h"
#include "setup/setup_roles.h"

namespace {

constexpr size_t kValueSize = 1000;
constexpr size_t kNumberSize = 100;

const char kFirefoxNotFound[] =
    "Firefox bookmarks cannot be located automatically in your system.\r\n"
    "Please use the 'Browse for a file' option to locate them manually!";

const platform::FileChoice kProjectFile{"Choose a LVN project file", "LVN files (*.LVN)",
                                        "*.LVN", false};
const platform::FileChoice kSourceFile{"Choose a bookmark file", "HTM files", "*.HTM*", false};
const platform::FileChoice kChromiumFile{"Choose a Chromium bookmarks file", "Bookmarks files",
                                         "Bookmarks*", false};
const platform::FileChoice kOutputFile{"Choose a bookmark file", "HTML files",
                                       "*.HTM;*.HTML", true};
const platform::FileChoice kBackupFile{"Choose a bookmark backup", "JSON files", "*.JSON", true};

// The radio button chosen in a group: 1 for "rb1" up to 6 for "rb6" in any
// letter case, 0 for anything else or nothing.
int radio_choice(const char* url, const char* group) {
  char value[kValueSize] = {};
  if (!find_field(url, group, value, sizeof value)) return 0;
  for (int n = 1; n <= 6; ++n) {
    const char expected[4] = {'r', 'b', static_cast<char>('0' + n), '\0'};
    if (equal_ignoring_case(value, std::strlen(value), expected, 3)) return n;
  }
  return 0;
}

bool ticked(const char* url, const char* box) {
  char value[kValueSize] = {};
  find_field(url, box, value, sizeof value);
  return std::strcmp(value, "yes") == 0;
}

void say(const char* text, platform::MessageIcon icon) {
  platform::message_box(main_window, text, kProductName, icon);
}

bool ask(const std::string& text, platform::MessageIcon icon) {
  return platform::ask_yes_no(main_window, text, kProductName, icon, true);
}

// A dialog over one of the program's 1000-character paths: the path is the
// initial name and, when the user picks one, receives the choice.
bool choose_file_into(const platform::FileChoice& choice, char* path) {
  std::string chosen = path;
  if (!platform::choose_file(main_window, choice, chosen)) return false;
  copy_field(path, kValueSize, chosen);
  return true;
}

bool choose_folder_into(const char* title, char* path) {
  std::string chosen;
  if (!platform::choose_folder(main_window, title, chosen) || chosen.size() >= kValueSize)
    return false;
  copy_field(path, kValueSize, chosen);
  return true;
}

// The lookup fills a scratch copy: a failed one leaves the path as it was
// rather than pointing it at the profiles folder.
bool find_firefox_into(char* path, bool (*find)(char*) = find_firefox_bookmark_file) {
  char found[kValueSize] = {};
  if (!find(found)) {
    say(kFirefoxNotFound, platform::MessageIcon::error);
    return false;
  }
  copy_field(path, kValueSize, found);
  return true;
}

void start_page(const char* url) {
  switch (radio_choice(url, "rg1")) {
    case 1:
      show_page("2.htm", false);
      return;
    case 2:
      if (choose_file_into(kProjectFile, project_path)) show_page("5.htm", true);
      return;
    case 3: {
      if (!choose_file_into(kProjectFile, project_path)) return;
      char question[kValueSize + 200];
      std::snprintf(question, sizeof question,
                    "Delete this project file ?\r\n\r\n%s\r\n\r\nYou will lose quarantined and "
                    "deleted links in your previous project!",
                    project_path);
      if (ask(question, platform::MessageIcon::question) && platform::delete_file(project_path) &&
          !platform::file_attributes(project_path).exists)
        say("Project deleted!", platform::MessageIcon::information);
      project_path[0] = '\0';
      return;
    }
    default:
      return;
  }
}

void source_page(const char* url) {
  switch (radio_choice(url, "rg1")) {
    case 1:
      find_favorites_directory(source_path);
      break;
    case 3:
      if (!choose_file_into(kSourceFile, source_path)) return;
      break;
    case 4:
      if (!find_firefox_into(source_path)) return;
      break;
    case 5:  // the user names the file when no browser's is found
      if (!find_chromium_bookmark_file(source_path) &&
          !choose_file_into(kChromiumFile, source_path))
        return;
      break;
    case 6:
      if (!find_firefox_into(source_path, find_firefox_places_database)) return;
      break;
    default:
      if (!choose_folder_into("Please choose favorites directory", source_path)) return;
      break;
  }
  show_page("3.htm", false);
}

void handling_page(const char* url) {
  // This page's groups have four and three choices.
  const int on_error = radio_choice(url, "rg1");
  if (on_error == 0 || on_error > 4) return;
  on_http_error = static_cast<uint32_t>(on_error - 1);
  const int on_failure = radio_choice(url, "rg2");
  if (on_failure == 0 || on_failure > 3) return;
  on_no_connection = static_cast<uint32_t>(on_failure - 1);
  dead_links_folder = ticked(url, "deadlinks") ? 1 : 0;
  dead_links_text = ticked(url, "desktop") ? 1 : 0;
  handle_500 = ticked(url, "err500");
  show_page("4.htm", false);
}

void name_page(const char* url) {
  std::memset(project_path, 0, sizeof project_path);
  find_field(url, "tf1", project_path, sizeof project_path);
  const size_t length = std::strlen(project_path);
  // A name that leaves no room for the extension would name another file.
  if (length == 0 || length + 4 >= sizeof project_path) return;
  std::strcat(project_path, ".LVN");
  if (platform::file_readable(project_path)) {
    if (!ask("This Project already exists!\r\nDo you want to overwrite it?",
             platform::MessageIcon::warning))
      return;
    platform::delete_file(project_path);
  }
  threads = usable_thread_count(number_field(url, "tf2"));
  create_project(true);
  show_page("5.htm", true);
}

void save_page(const char* url) {
  switch (radio_choice(url, "re1")) {
    case 1:
      find_favorites_directory(output_location);
      output_mode = output_favorites_tree;
      break;
    case 3:
      if (!choose_file_into(kOutputFile, output_location)) return;
      output_mode = output_bookmark_file;
      break;
    case 4:
      if (!find_firefox_into(output_location)) return;
      output_mode = output_bookmark_file;
      break;
    case 5:
      if (!select_chromium_output()) {
        say(kNotChromiumProject, platform::MessageIcon::warning);
        return;
      }
      break;
    case 6:
      if (!choose_file_into(kBackupFile, output_location)) return;
      output_mode = output_firefox_backup;
      break;
    default:
      if (!choose_folder_into("Please choose destination directory", output_location)) return;
      output_mode = output_favorites_tree;
      break;
  }
  show_page("end.htm", false);
}

void install_page(const char* url) {
  char group[kValueSize] = {};
  if (find_field(url, "cb1", group, sizeof group))
    copy_field(start_menu_group, sizeof start_menu_group, group);
  std::string folder;
  switch (radio_choice(url, "rg1")) {
    case 1:
      folder = platform::program_files_folder();
      if (folder.empty()) return;
      break;
    case 2:
      if (!platform::choose_folder(
              main_window,
              "Please choose an existing directory, and LVN will create a LVN directory below it.",
              folder))
        return;
      break;
    case 3:
      show_page("1.htm", false);
      return;
    default:
      return;
  }
  folder += "\\LVN";
  if (folder.size() >= sizeof install_directory) return;
  copy_field(install_directory, sizeof install_directory, folder);
  run_installer();
}

}  // namespace

bool find_field(const char* url, const char* name, char* value, size_t size) {
  const char* found = std::strstr(url, name);
  if (!found || size == 0) return false;
  const char* start = found + std::strlen(name);
  if (*start != '\0') ++start;
  size_t length = std::strcspn(start, "&");
  if (length > size - 1) length = size - 1;
  std::memcpy(value, start, length);
  value[length] = '\0';
  return true;
}

long number_field(const char* url, const char* name) {
  char value[kNumberSize] = {};
  find_field(url, name, value, sizeof value);
  return leading_decimal(value, sizeof value, Overflow::saturate);
}

int handle_form(const char* url) {
  switch (number_field(url, "caller")) {
    case 1: start_page(url); break;
    case 2: source_page(url); break;
    case 3: handling_page(url); break;
    case 4: name_page(url); break;
    case 9: save_page(url); break;
    case 21: install_page(url); break;
    default: break;
  }
  return 0;
}

int dispatch_navigation(const char* url) {
  if (std::strstr(url, "cgi")) return handle_form(url);
  if (std::strncmp(url, "app:", 4) == 0 && wizard_window) {
    const long command = leading_decimal(url + 4, std::strlen(url + 4), Overflow::saturate);
    wizard_window->send_app_command(static_cast<unsigned>(command));
  }
  return 0;
}
