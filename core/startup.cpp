#include "core/startup.h"

#include <cstring>
#include <string>

#include "console/console_mode.h"
#include "core/globals.h"
#include "core/records.h"
#include "gui/wizard.h"
#include "platform/platform.h"
#include "setup/self_replace.h"
#include "setup/setup_roles.h"

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LVN";

bool equals_ignoring_case(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return *a == *b;
}

bool starts_with_u_switch(const char* command_line) {
  return command_line[0] == '-' && (command_line[1] == 'u' || command_line[1] == 'U');
}

// Makes the executable's own directory the current one, so that every
// relative path of the program resolves there.
void enter_program_directory() {
  std::string path = platform::module_path();
  if (path.size() >= 1000) path.resize(999);
  const size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos) return;
  platform::set_current_directory(cut == 0 ? path.substr(0, 1) : path.substr(0, cut));
}

}  // namespace

Role classify_command_line(const char* command_line, bool installed) {
  if (equals_ignoring_case(command_line, "-rr")) return Role::self_replace;
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

int lvn_main(const char* command_line) {
  if (!command_line) command_line = "";
  enter_program_directory();

  if (classify_command_line(command_line, false) == Role::self_replace) {
    run_self_replacement();
    return 70;
  }

  if (run_update_countdown()) start_update_check(nullptr);

  install_state = probe_install_state(command_line);
  if (install_state == 2) {
    run_uninstaller();
    return 0;
  }

  if (std::strncmp(command_line, "-l ", 3) == 0) {
    copy_field(project_path, sizeof project_path, command_line + 3);
    open_on_start = true;
  }

  switch (classify_command_line(command_line, install_state == 0)) {
    case Role::repair:
      run_repair();
      return 0;
    case Role::console:
      console_mode = true;
      run_console_mode();
      return 0;
    default:
      return run_wizard();
  }
}
