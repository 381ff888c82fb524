// The graphical role: the main window with the wizard pages.
#pragma once

// Runs the graphical role and returns the process's exit code. With
// `open_project` the wizard opens on the project named by project_path.
int run_wizard(bool open_project);
