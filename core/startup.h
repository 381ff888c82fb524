// The process entry shared by every role: prepares the working directory,
// runs the update countdown, probes the installation and dispatches on the
// command line. Returns the process's exit code.
#pragma once

#include <string>

int lvn_main(const char* command_line);

// The roles that the command line selects.
enum class Role { self_replace, uninstall, open_project, repair, console, wizard };

// Recognises the switches exactly as typed: "-rr" in any case, "-u" in any
// case (only when installed), "-l " case-sensitively with the path after it,
// "-rc" and "-cmd" case-sensitively and whole; anything else is the wizard.
Role classify_command_line(const char* command_line, bool installed);

// The update countdown in ".\up.ini": returns true when the update check is
// due at this start (and resets the countdown to 30).
bool run_update_countdown();

// Gives install_state: 0 installed, 1 not installed, 2 uninstall requested
// (which also makes the directory after "-u " the current directory).
int probe_install_state(const char* command_line);

// Makes the executable's folder the current directory, so that every
// relative path of the program resolves there. Says so and gives false when
// that fails (the path is too long or the folder cannot be entered).
bool enter_folder_of(const std::string& executable);

// Takes the path after "-l " as project_path. A path that does not fit is
// refused with a message, never cut.
bool take_project_argument(const char* path);
