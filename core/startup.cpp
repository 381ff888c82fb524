#include "core/startup.h"

#include <cstring>
#include <string>

#include "console/console_mode.h"
#include "core/ascii.h"
#include "core/globals.h"
#include "core/message.h"
#include "core/records.h"
#include "gui/page_store.h"
#include "gui/wizard.h"
#include "platform/platform.h"
#include "setup/installer.h"
#include "setup/self_replace.h"
#include "setup/setup_roles.h"

namespace {

const char kCannotEnterFolder[] = "ERROR: Cannot enter the program's folder !";
const char kPathTooLong[] = "ERROR: The project path is too long !";
// The module path buffer, as the platform fills it.
constexpr size_t kModulePathSize = 1000;

bool starts_with_u_switch(const char* command_line) {
  return command_line[0] == '-' && ascii_lower(command_line[1]) == 'u';
}

}  // namespace

Role classify_command_line(const char* command_line, bool installed) {
  if (equal_ignoring_case(command_line, std::strlen(command_line), "-rr", 3))
    return Role::self_replace;
  if (installed && starts_with_u_switch(command_line)) return Role::uninstall;
  if (std::strncmp(command_line, "-l ", 3) == 0) return Role::open_project;
  if (std::strcmp(command_line, "-rc") == 0) return Role::repair;
  if (std::strcmp(command_line, "-cmd") == 0) return Role::console;
  return Role::wizard;
}

bool run_update_countdown() {
  const int count = platform::profile_read_int(".\\up.ini", "General", "UC", 5);
  if (count > 0) {
    platform::profile_write(".\\up.ini", "General", "UC",
                            std::to_string(static_cast<unsigned>(count - 1)));
    return false;
  }
  platform::profile_write(".\\up.ini", "General", "UC", "30");
  return true;
}

int probe_install_state(const char* command_line) {
  if (!platform::registry_key_opens(platform::RegistryRoot::local_machine, kUninstallKey))
    return 1;
  if (starts_with_u_switch(command_line)) {
    // The installer registers "<exe> -u <directory>": the directory starts at
    // the fourth character.
    platform::set_current_directory(std::strlen(command_line) > 3 ? command_line + 3 : "");
    return 2;
  }
  return 0;
}

bool enter_folder_of(const std::string& executable) {
  const size_t cut = executable.find_last_of("\\/");
  const bool entered =
      cut != std::string::npos && executable.size() < kModulePathSize &&
      platform::set_current_directory(cut == 0 ? executable.substr(0, 1) : executable.substr(0, cut));
  // Going on in the launch folder would put settings, pages and projects
  // there without a word.
  if (!entered) show_message(kCannotEnterFolder, platform::MessageIcon::warning);
  return entered;
}

bool take_project_argument(const char* path) {
  // A cut path would name another file.
  if (std::strlen(path) >= sizeof project_path) {
    show_message(kPathTooLong, platform::MessageIcon::error);
    return false;
  }
  copy_field(project_path, sizeof project_path, path);
  return true;
}

int lvn_main(const char* command_line) {
  if (!command_line) command_line = "";
  enter_folder_of(platform::module_path());
  // The pages are written for every role, before any switch is read.
  extract_pages();

  if (classify_command_line(command_line, false) == Role::self_replace) {
    run_self_replacement();
    return 70;
  }

  if (run_update_countdown()) start_update_check(nullptr);

  install_state = probe_install_state(command_line);
  if (install_state == 2) return run_uninstaller();

  const Role role = classify_command_line(command_line, install_state == 0);
  if (role == Role::open_project) take_project_argument(command_line + 3);

  switch (role) {
    case Role::repair:
      return run_repair();
    case Role::console:
      run_console_mode();
      return 0;
    default:
      return run_wizard(role == Role::open_project);
  }
}
