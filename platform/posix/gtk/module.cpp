// The module's one entry: the table of its calls, which the program looks
// up after loading it. Everything else in the module stays hidden.
#include "platform/posix/gtk/gtk_front_end.h"
#include "platform/posix/gtk_module.h"

namespace {

const platform::posix::GtkModule kModule = {
    platform::posix::start_gtk,        platform::posix::gtk_create_wizard_window,
    platform::posix::gtk_run_message_loop, platform::posix::gtk_message,
    platform::posix::gtk_ask_yes_no,   platform::posix::gtk_choose_file,
    platform::posix::gtk_choose_folder, platform::posix::gtk_show_item_list,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const platform::posix::GtkModule* lvn_gtk_module() {
  return &kModule;
}
