#include "tests/support/event_pump.h"

#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>

bool pump_one_event() {
  MSG message;
  if (!::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  ::DispatchMessageA(&message);
  return true;
}

bool window_is_open(void* handle) { return handle && ::IsWindow(static_cast<HWND>(handle)); }

#else
#include <gtk/gtk.h>

bool pump_one_event() { return g_main_context_iteration(nullptr, FALSE); }

bool window_is_open(void* handle) {
  return handle && GTK_IS_WIDGET(handle) && gtk_widget_get_visible(GTK_WIDGET(handle));
}

#endif

void sleep_a_little() { platform::sleep_ms(10); }
