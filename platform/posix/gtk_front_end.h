// What the GTK front end's files share: whether GTK runs on a display (the
// wizard's road, where dialogs are windows), and the window that owns them.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "platform/platform.h"

namespace platform {
namespace posix {

// Starts GTK on the display once; false when there is no display to start
// it on. Later calls give the first call's answer.
bool start_gtk();
// True once start_gtk succeeded: the dialogs then show windows; before that
// they ask on the terminal.
bool gtk_running();
// The owner a dialog is made transient for: a window handle given by the
// wizard, or null.
GtkWindow* dialog_parent(void* owner);
// A text as GTK shows it: UTF-8 as it stands, anything else read as the
// Windows code page the bookmark files were written in; message line ends
// without their carriage returns.
std::string display_text(const std::string& text);
// Runs a modal dialog until the user answers it, and gives the response.
int run_dialog(GtkWidget* dialog);

// The dialogs as GTK windows, asked for by platform's dialog calls when GTK
// runs.
void gtk_message(void* owner, const std::string& text, const std::string& caption,
                 platform::MessageIcon icon);
bool gtk_ask_yes_no(void* owner, const std::string& text, const std::string& caption,
                    platform::MessageIcon icon, bool default_no);
bool gtk_choose_file(void* owner, const platform::FileChoice& choice, std::string& path);
bool gtk_choose_folder(void* owner, const std::string& title, std::string& path);
void gtk_show_item_list(void* owner, const platform::ItemList& list);

}  // namespace posix
}  // namespace platform
