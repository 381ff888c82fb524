// Messages to the user on POSIX: a GTK message box while the wizard's window
// runs, else one line on standard error, or the hook that tests set; app commands go to the sink that the front end sets.
#include <atomic>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/posix/gtk_module.h"

namespace platform {

namespace {

std::atomic<MessageHook> message_hook{nullptr};
std::atomic<AppCommandSink> app_command_sink{nullptr};

}  // namespace

void message_box(void* owner, const std::string& text, const std::string& caption,
                 MessageIcon icon) {
  if (MessageHook hook = message_hook.load()) {
    hook(text, caption, icon);
    return;
  }
  if (DialogScript* script = dialog_script()) {
    script->message(text, caption, icon);
    return;
  }
  if (const posix::GtkModule* gtk = posix::gtk_module()) {
    gtk->message(owner, text, caption, icon);
    return;
  }
  // The texts are written for a message box and may end in their own line
  // break; the line gets exactly one.
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), line.c_str());
  std::fflush(stderr);
}

void set_message_hook(MessageHook hook) { message_hook.store(hook); }

void post_app_command(void* window, unsigned command) {
  if (AppCommandSink sink = app_command_sink.load()) sink(window, command);
  // Without a sink there is no window to post to on this platform.
}

void set_app_command_sink(AppCommandSink sink) { app_command_sink.store(sink); }

}  // namespace platform
