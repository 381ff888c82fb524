// The seam through which tests answer the wizard's dialogs.
#include <atomic>

#include "platform/platform.h"

namespace platform {

namespace {
std::atomic<DialogScript*> current_script{nullptr};
}  // namespace

void set_dialog_script(DialogScript* script) { current_script.store(script); }
DialogScript* dialog_script() { return current_script.load(); }

}  // namespace platform
