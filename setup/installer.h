// Installation and repair: the program copies itself into its install
// directory, makes its shortcuts and writes its registry entries.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// The uninstall entry, the association's class and the toolbar button's key.
extern const char kUninstallKey[];
extern const char kProjectClass[];
extern const char kToolbarKey[];

// The Start-menu group folder and the seven shortcuts in it, in the order
// they are made, for a program installed in `directory`.
std::string group_folder();
std::vector<platform::Shortcut> group_shortcuts(const std::string& directory);
// The desktop shortcut's link (without its extension).
std::string desktop_link();

// Installs into install_directory (with the Start-menu group when
// start_menu_group is "yes"), or with `repair` recreates everything for the
// running copy and its own directory. `running` is the executable that runs
// the installation. Ends with one closing box and gives the exit code, 99.
int install(bool repair, const std::string& running = platform::module_path());
