// Messages to the user on Win32: message boxes (or the hook that tests set)
// and app commands posted to the main window (or the sink).
#include <windows.h>

#include <atomic>
#include <string>

#include "core/app_commands.h"
#include "platform/platform.h"
#include "platform/win32/win32_support.h"

namespace platform {

namespace {

std::atomic<MessageHook> message_hook{nullptr};
std::atomic<AppCommandSink> app_command_sink{nullptr};

}  // namespace

UINT win32::message_icon_style(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::error: return MB_ICONERROR;
    case MessageIcon::warning: return MB_ICONWARNING;
    case MessageIcon::information: return MB_ICONINFORMATION;
    case MessageIcon::question: return MB_ICONQUESTION;
    case MessageIcon::none: return 0;
  }
  return MB_ICONINFORMATION;
}

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
  ::MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), win32::message_icon_style(icon));
}

void set_message_hook(MessageHook hook) { message_hook.store(hook); }

void post_app_command(void* window, unsigned command) {
  if (AppCommandSink sink = app_command_sink.load()) {
    sink(window, command);
    return;
  }
  if (window) ::PostMessageA(static_cast<HWND>(window), kAppCommandMessage, command, 0);
}

void set_app_command_sink(AppCommandSink sink) { app_command_sink.store(sink); }

}  // namespace platform
