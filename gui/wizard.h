// The graphical role: the main window with the wizard pages.
#pragma once

// Runs the graphical role and returns the process's exit code.
int run_wizard();
