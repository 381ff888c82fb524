// The maintenance roles: uninstall, repair and the update check.
#pragma once

// Removes the installation (the "-u" switch on an installed program); gives
// the exit code: 0 when the user declines, 100 after the removal.
int run_uninstaller();
// Installs the program into install_directory (the wizard's install page)
// and ends the process with exit code 99.
void run_installer();
// Repairs the installation (the "-rc" switch); gives the exit code, 99.
int run_repair();
// Starts the update check on a thread of its own; window may be null.
void start_update_check(void* window);
