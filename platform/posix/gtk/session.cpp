// Starting GTK, and what every dialog of the module does alike.
#include "platform/posix/gtk/gtk_front_end.h"

namespace platform {
namespace posix {

bool start_gtk() { return gtk_init_check(nullptr, nullptr); }

GtkWindow* dialog_parent(void* owner) {
  return owner && GTK_IS_WINDOW(owner) ? GTK_WINDOW(owner) : nullptr;
}

int run_dialog(GtkWidget* dialog) {
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  // Lets the dialog leave the screen before the caller goes on.
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  return response;
}

}  // namespace posix
}  // namespace platform
