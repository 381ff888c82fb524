// Whether the graphical wizard can run: GTK started on an X11 or Wayland
// display. Without one the console is the front end.
#include <cstdlib>

#include "platform/platform.h"
#include "platform/posix/gtk_front_end.h"

namespace platform {
namespace posix {

namespace {

bool set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

int started = -1;  // -1: not tried yet

}  // namespace

bool start_gtk() {
  if (started < 0) started = (set("DISPLAY") || set("WAYLAND_DISPLAY")) && gtk_init_check(nullptr, nullptr);
  return started == 1;
}

bool gtk_running() { return started == 1; }

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

bool graphical_front_end_available() { return posix::start_gtk(); }

}  // namespace platform
