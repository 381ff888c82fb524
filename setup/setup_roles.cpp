#include "setup/setup_roles.h"

#include "core/message.h"

// Installation, repair and the hand-off to the update library are not part
// of this version; the roles say so instead of pretending to work.

void run_uninstaller() {
  show_message("The Lorvane uninstaller is not available in this version.",
               platform::MessageIcon::information);
}

void run_installer() {
  show_message("Installing Lorvane is not available in this version.",
               platform::MessageIcon::information);
}

void run_repair() {
  show_message("Repairing the Lorvane installation is not available in this version.",
               platform::MessageIcon::information);
}
