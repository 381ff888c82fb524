#include "tests/support/event_pump.h"

#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>

void pump_pending_events() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
}

bool window_is_open(void* handle) { return handle && ::IsWindow(static_cast<HWND>(handle)); }

#else
#include <gtk/gtk.h>

void pump_pending_events() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

bool window_is_open(void* handle) {
  return handle && GTK_IS_WIDGET(handle) && gtk_widget_get_visible(GTK_WIDGET(handle));
}

#endif

void sleep_a_little() { platform::sleep_ms(10); }
