// The wizard's window and dialogs on Linux live in a module of their own,
// "liblvn_gtk.so" beside the program, loaded only when the wizard is shown:
// GTK and WebKitGTK then stay out of the memory of the console and the
// checker (they add about 45 MB to a process).
#pragma once

#include <string>

#include "platform/platform.h"

namespace platform {
namespace posix {

struct GtkModule {
  bool (*start)();  // GTK on the display; false when it cannot start there
  WizardWindow* (*create_wizard_window)(const WizardHandlers& handlers);
  void (*run_message_loop)();
  void (*message)(void* owner, const std::string& text, const std::string& caption,
                  MessageIcon icon);
  bool (*ask_yes_no)(void* owner, const std::string& text, const std::string& caption,
                     MessageIcon icon, bool default_no);
  bool (*choose_file)(void* owner, const FileChoice& choice, std::string& path);
  bool (*choose_folder)(void* owner, const std::string& title, std::string& path);
  void (*show_item_list)(void* owner, const ItemList& list);
};

constexpr char kGtkModuleFile[] = "liblvn_gtk.so";
// The module's one exported function: `const GtkModule* lvn_gtk_module()`.
constexpr char kGtkModuleEntry[] = "lvn_gtk_module";

// The module once GTK runs on a display; null before, and where it cannot.
const GtkModule* gtk_module();

}  // namespace posix
}  // namespace platform
