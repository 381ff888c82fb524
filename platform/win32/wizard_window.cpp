// Placeholder until the main window and its browser host exist.
#include "platform/platform.h"

namespace platform {
WizardWindow* create_wizard_window(const WizardHandlers& /*handlers*/) { return nullptr; }
void run_message_loop() {}
}  // namespace platform
