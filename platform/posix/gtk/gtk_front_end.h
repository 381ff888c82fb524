// What the files of the GTK module share: starting GTK, the owner of a
// dialog, and the module's calls that its table hands to the program.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "platform/platform.h"

namespace platform {
namespace posix {

// Starts GTK on the display; false when it cannot start there.
bool start_gtk();
// The owner a dialog is made transient for: a window handle given by the
// wizard, or null.
GtkWindow* dialog_parent(void* owner);
// A text as GTK shows it: UTF-8 as it stands, anything else read as the
// Windows code page the bookmark files were written in; message line ends
// without their carriage returns.
std::string display_text(const std::string& text);
// Runs a modal dialog until the user answers it, and gives the response.
int run_dialog(GtkWidget* dialog);

// The main window and its loop, and the dialogs as GTK windows.
WizardWindow* gtk_create_wizard_window(const WizardHandlers& handlers);
void gtk_run_message_loop();
void gtk_message(void* owner, const std::string& text, const std::string& caption,
                 platform::MessageIcon icon);
bool gtk_ask_yes_no(void* owner, const std::string& text, const std::string& caption,
                    platform::MessageIcon icon, bool default_no);
bool gtk_choose_file(void* owner, const platform::FileChoice& choice, std::string& path);
bool gtk_choose_folder(void* owner, const std::string& title, std::string& path);
void gtk_show_item_list(void* owner, const platform::ItemList& list);

}  // namespace posix
}  // namespace platform
