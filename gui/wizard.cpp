#include "gui/wizard.h"

#include "console/console_mode.h"
#include "core/globals.h"
#include "core/message.h"
#include "platform/platform.h"

int run_wizard() {
  if (!platform::graphical_front_end_available()) {
    // Without a window system of our own the console does the same job.
    run_console_mode();
    return 0;
  }
  show_message("The Lorvane wizard is not available in this version.\r\n"
               "Start Lorvane with the -cmd switch to use the console version.",
               platform::MessageIcon::information);
  return 0;
}
