// The wizard's message boxes, questions and file and folder choosers as GTK
// dialogs, with the texts, captions, buttons and defaults of the Windows
// ones.
#include <string>

#include "platform/posix/gtk/gtk_front_end.h"
#include "platform/posix/posix_support.h"

namespace platform {
namespace posix {

namespace {

GtkMessageType message_type(platform::MessageIcon icon) {
  switch (icon) {
    case platform::MessageIcon::error: return GTK_MESSAGE_ERROR;
    case platform::MessageIcon::warning: return GTK_MESSAGE_WARNING;
    case platform::MessageIcon::information: return GTK_MESSAGE_INFO;
    case platform::MessageIcon::question: return GTK_MESSAGE_QUESTION;
    case platform::MessageIcon::none: break;
  }
  return GTK_MESSAGE_OTHER;
}

GtkWidget* message_dialog(void* owner, const std::string& text, const std::string& caption,
                          platform::MessageIcon icon, GtkButtonsType buttons) {
  GtkWidget* dialog = gtk_message_dialog_new(dialog_parent(owner), GTK_DIALOG_MODAL,
                                             message_type(icon), buttons, "%s",
                                             display_text(text).c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), display_text(caption).c_str());
  return dialog;
}

}  // namespace

std::string display_text(const std::string& text) {
  std::string shown;
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    shown = text;
  } else if (gchar* converted = g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-8",
                                          "WINDOWS-1252", nullptr, nullptr, nullptr)) {
    shown = converted;
    g_free(converted);
  } else {
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    shown = valid;
    g_free(valid);
  }
  std::string without_returns;
  for (char c : shown)
    if (c != '\r') without_returns += c;
  while (!without_returns.empty() && without_returns.back() == '\n') without_returns.pop_back();
  return without_returns;
}

void gtk_message(void* owner, const std::string& text, const std::string& caption,
                 platform::MessageIcon icon) {
  run_dialog(message_dialog(owner, text, caption, icon, GTK_BUTTONS_OK));
}

bool gtk_ask_yes_no(void* owner, const std::string& text, const std::string& caption,
                    platform::MessageIcon icon, bool default_no) {
  GtkWidget* dialog = message_dialog(owner, text, caption, icon, GTK_BUTTONS_YES_NO);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), default_no ? GTK_RESPONSE_NO : GTK_RESPONSE_YES);
  return run_dialog(dialog) == GTK_RESPONSE_YES;
}

namespace {

// The chooser's file, when it fits the wizard's path buffer.
bool chosen_path(GtkWidget* dialog, std::string& path) {
  const bool accepted = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT;
  gchar* file = accepted ? gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog)) : nullptr;
  const std::string chosen = file ? file : "";
  g_free(file);
  gtk_widget_destroy(dialog);
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  if (chosen.empty() || chosen.size() >= platform::kDialogPathSize) return false;
  path = chosen;
  return true;
}

GtkWidget* chooser(void* owner, const std::string& title, GtkFileChooserAction action,
                   const char* accept) {
  GtkWidget* dialog = gtk_file_chooser_dialog_new(display_text(title).c_str(), dialog_parent(owner),
                                                  action, "_Cancel", GTK_RESPONSE_CANCEL, accept,
                                                  GTK_RESPONSE_ACCEPT, nullptr);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(dialog), TRUE);
  return dialog;
}

// Windows matches "*.LVN" whatever the letter case; the filter does too.
std::string any_case(const std::string& pattern) {
  std::string result;
  for (char c : pattern) {
    if (g_ascii_isalpha(c))
      result += std::string("[") + g_ascii_tolower(c) + g_ascii_toupper(c) + "]";
    else
      result += c;
  }
  return result;
}

}  // namespace

bool gtk_choose_file(void* owner, const platform::FileChoice& choice, std::string& path) {
  GtkWidget* dialog =
      chooser(owner, choice.title,
              choice.for_saving ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN,
              choice.for_saving ? "_Save" : "_Open");
  GtkFileChooser* files = GTK_FILE_CHOOSER(dialog);
  if (!choice.filter_pattern.empty()) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, choice.filter_name.c_str());
    gtk_file_filter_add_pattern(filter, any_case(choice.filter_pattern).c_str());
    gtk_file_chooser_add_filter(files, filter);
  }
  if (choice.for_saving) {
    gtk_file_chooser_set_do_overwrite_confirmation(files, TRUE);
    if (!path.empty()) gtk_file_chooser_set_current_name(files, path.c_str());
  } else if (!path.empty()) {
    gtk_file_chooser_set_filename(files, posix::native_path(path).c_str());
  }
  return chosen_path(dialog, path);
}

bool gtk_choose_folder(void* owner, const std::string& title, std::string& path) {
  return chosen_path(chooser(owner, title, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Select"), path);
}

}  // namespace posix
}  // namespace platform
