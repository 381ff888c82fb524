// The last step of a self-update: the running copy replaces ".\LVN.EXE".
#pragma once

// Waits, copies the running executable over ".\LVN.EXE", starts it, waits
// again. The caller ends the process with exit code 70.
void run_self_replacement();
