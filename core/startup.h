// The process entry shared by every role: prepares the working directory,
// runs the update countdown, probes the installation and dispatches on the
// command line. Returns the process's exit code.
#pragma once

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
