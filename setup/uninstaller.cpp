// Removal of what the installer put on the machine. It works from the
// current directory, which start-up made the one named after "-u".
#include "setup/setup_roles.h"

#include <string>

#include "gui/page_store.h"
#include "platform/platform.h"
#include "setup/installer.h"

using platform::RegistryRoot;

namespace {

const char kCaption[] = "Lorvane";
const char kDone[] =
    "Uninstallation successful !\r\nLVN.EXE and the Installation Directory will be removed "
    "from your system after rebooting !";

std::string confirmation(const std::string& directory) {
  return "Uninstall Lorvane from:\r\n\r\n" + directory +
         " ?\r\n\r\nPlease note that existing LVN projects will not be deleted automatically, "
         "but they will rather be saved in the installation directory!";
}

}  // namespace

int run_uninstaller() {
  const std::string directory = platform::current_directory();
  if (!platform::ask_yes_no(nullptr, confirmation(directory), kCaption,
                            platform::MessageIcon::question, true))
    return 0;

  // Whatever is already gone is passed over.
  platform::registry_delete_key(RegistryRoot::local_machine, kUninstallKey);
  const std::string project_class = kProjectClass;
  for (const std::string& key :
       {std::string(".lvn"), project_class + "\\Shell\\Open\\Command",
        project_class + "\\Shell\\Open", project_class + "\\Shell",
        project_class + "\\DefaultIcon", project_class})
    platform::registry_delete_key(RegistryRoot::classes_root, key);
  platform::registry_delete_key(RegistryRoot::local_machine, kToolbarKey);
  platform::dissociate_project_files();

  platform::delete_shortcut(desktop_link());
  for (const platform::Shortcut& link : group_shortcuts(directory))
    platform::delete_shortcut(link.link);
  // Stays when the user keeps files of their own in it.
  platform::remove_directory(group_folder());

  platform::delete_file(directory + "\\up.ini");
  // The pages go before the folder is scheduled: where deletion happens at
  // once, the folder must already be empty of them.
  remove_pages();
  platform::delete_at_restart(directory + "\\LVN.EXE");
  for (const std::string& name : platform::companion_files())
    platform::delete_at_restart(directory + "\\" + name);
  platform::delete_at_restart(directory);

  platform::message_box(nullptr, kDone, kCaption, platform::MessageIcon::none);
  return 100;
}
