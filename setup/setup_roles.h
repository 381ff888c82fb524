// The maintenance roles: uninstall, repair and the update check.
#pragma once

// Removes the installation (the "-u" switch on an installed program).
void run_uninstaller();
// Installs the program into install_directory (the wizard's install page).
void run_installer();
// Repairs the installation (the "-rc" switch).
void run_repair();
// Starts the update check on a thread of its own; window may be null.
void start_update_check(void* window);
