#include "gui/wizard.h"

#include <cstdio>

#include "console/console_mode.h"
#include "core/globals.h"
#include "gui/form_handler.h"
#include "gui/main_window.h"
#include "gui/page_store.h"
#include "gui/wizard_window.h"
#include "platform/platform.h"

platform::WizardWindow* wizard_window = nullptr;

int run_wizard(bool open_project) {
  if (!platform::graphical_front_end_available()) {
    // Without a display the console does the same job.
    std::fputs("No display to show the wizard on: Lorvane runs in the console.\r\n", stdout);
    std::fflush(stdout);
    run_console_mode();
    return 0;
  }
  platform::WizardHandlers handlers;
  handlers.navigation = dispatch_navigation;
  handlers.app_command = handle_app_command;
  handlers.close_request = close_request;
  handlers.timer_tick = progress_tick;
  wizard_window = platform::create_wizard_window(handlers);
  if (!wizard_window) {
    platform::message_box(nullptr, "A Window Class cannot be registered !\r\n", kProductName,
                          platform::MessageIcon::error);
    return 0;
  }
  main_window = wizard_window->handle();

  if (open_project)
    show_page("5.htm", true);
  else
    show_page(install_state == 1 ? "i1.htm" : "1.htm", false);
  platform::run_message_loop();

  remove_pages();
  main_window = nullptr;
  delete wizard_window;
  wizard_window = nullptr;
  return 0;
}
