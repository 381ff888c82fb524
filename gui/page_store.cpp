#include "gui/page_store.h"

#include "core/globals.h"

void show_page(const char* /*name*/, bool /*fill*/) {
  // The wizard's pages are shown only when a main window exists; the console
  // front end has none, and no wizard window is built yet.
  if (!main_window) return;
}
