#include "setup/installer.h"

#include <cstring>

#include "core/globals.h"
#include "core/maker.h"
#include "core/records.h"
#include "gui/page_store.h"
#include "setup/setup_roles.h"

using platform::RegistryRoot;

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LVN";
const char kProjectClass[] = "LorvikFile";
const char kToolbarKey[] =
    "Software\\Microsoft\\Internet Explorer\\Extensions\\{2E9C5B17-A4D3-41fb-0000-8B3F0C6D7A21}";

namespace {

const char kCaption[] = "Lorvane";
const char kRepaired[] = "Registry entries and shortcuts recreated !";

std::string forum_address() {
  return std::string(kMakerSite) + "/cgi-bin/download.cgi?file=forum";
}

std::string folder_of(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

platform::Shortcut shortcut(const std::string& folder, const std::string& name,
                            const std::string& target, const std::string& directory,
                            const std::string& arguments = std::string()) {
  return platform::Shortcut{folder + "\\" + name, target, arguments, directory, name, 0};
}

// Every value in the order it is written; the association names the running
// executable, everything else the copy in the install directory.
void write_registry(const std::string& directory, const std::string& running) {
  const std::string installed = directory + "\\LVN.EXE";
  const std::string project_class = kProjectClass;
  const struct {
    RegistryRoot root;
    std::string key, value, data;
  } entries[] = {
      {RegistryRoot::local_machine, kUninstallKey, "DisplayName", "Lorvane Uninstallation"},
      {RegistryRoot::local_machine, kUninstallKey, "UninstallString",
       installed + " -u " + directory},
      {RegistryRoot::local_machine, kUninstallKey, "DestinationDirectory", directory},
      {RegistryRoot::local_machine, kUninstallKey, "ModifyPath", installed + " -rc"},
      {RegistryRoot::classes_root, ".lvn", "", project_class},
      {RegistryRoot::classes_root, project_class, "", "Lorvik Project"},
      {RegistryRoot::classes_root, project_class + "\\DefaultIcon", "", running + ",1"},
      {RegistryRoot::classes_root, project_class + "\\Shell\\open\\command", "",
       running + " -l %1"},
      {RegistryRoot::local_machine, kToolbarKey, "Default Visible", "Yes"},
      {RegistryRoot::local_machine, kToolbarKey, "ButtonText", "Lorvane"},
      {RegistryRoot::local_machine, kToolbarKey, "Icon", installed + ",501"},
      {RegistryRoot::local_machine, kToolbarKey, "HotIcon", installed + ",501"},
      {RegistryRoot::local_machine, kToolbarKey, "CLSID",
       "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}"},
      {RegistryRoot::local_machine, kToolbarKey, "Exec", installed},
  };
  // Without the rights for a root its entries are simply missing.
  for (const auto& entry : entries)
    platform::registry_write_string(entry.root, entry.key, entry.value, entry.data);
}

}  // namespace

std::string group_folder() { return platform::programs_folder() + "\\Lorvane"; }

std::string desktop_link() { return platform::desktop_folder() + "\\Lorvane"; }

std::vector<platform::Shortcut> group_shortcuts(const std::string& directory) {
  const std::string group = group_folder();
  const std::string installed = directory + "\\LVN.EXE";
  return {
      shortcut(group, "Lorvane", installed, directory),
      shortcut(group, "Lorvane Help", "res://" + installed + "/help", directory),
      shortcut(group, "Lorvane License Agreement", "res://" + installed + "/eula", directory),
      shortcut(group, "Submit a bug",
               std::string("mailto:") + kMakerBugAddress + "?subject=Lorvane Bug Report",
               directory),
      shortcut(group, std::string(kMakerSiteName) + " Forum", forum_address(), directory),
      shortcut(group, "Lorvane Repair", installed, directory, "-rc"),
      shortcut(group, "Lorvane Uninstall", installed, directory, "-u " + directory),
  };
}

int install(bool repair, const std::string& running) {
  const bool with_group = repair || std::strcmp(start_menu_group, "yes") == 0;
  // Repair serves the copy that runs, wherever it lives.
  const std::string directory = repair ? folder_of(running) : std::string(install_directory);
  if (repair) copy_field(install_directory, sizeof install_directory, directory);
  const std::string installed = directory + "\\LVN.EXE";

  // No step waits on the one before: each failure only leaves its own part out.
  platform::create_directory(directory);
  platform::copy_file(running, installed);
  for (const std::string& name : platform::companion_files())
    platform::copy_file(folder_of(running) + "\\" + name, directory + "\\" + name);
  platform::create_shortcut(
      platform::Shortcut{desktop_link(), installed, std::string(), directory, "Lorvane", 0});
  if (with_group) {
    platform::create_directory(group_folder());
    for (const platform::Shortcut& link : group_shortcuts(directory))
      platform::create_shortcut(link);
  }
  write_registry(directory, running);
  platform::associate_project_files(running);
  remove_pages();

  if (repair) {
    platform::message_box(nullptr, kRepaired, kCaption, platform::MessageIcon::information);
    return 99;
  }
  const std::string question = "Lorvane has been installed successfully !\r\n\r\n"
                               "Do you want to visit the " + std::string(kMakerSiteName) +
                               " forum for the latest news and updates ?";
  if (platform::ask_yes_no(nullptr, question, kCaption, platform::MessageIcon::question, false))
    platform::shell_open(forum_address());
  return 99;
}

void run_installer() { platform::exit_process(install(false)); }

int run_repair() { return install(true); }
