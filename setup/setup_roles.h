// The maintenance roles: uninstall, repair and the update check.
#pragma once

// Removes the installation (the "-u" switch on an installed program).
void run_uninstaller();
// Repairs the installation (the "-rc" switch).
void run_repair();
// Starts the update check on a thread of its own; window may be null.
void start_update_check(void* window);
