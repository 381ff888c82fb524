// Whether the graphical wizard can run: the GTK module beside the program,
// loaded and started on an X11 or Wayland display. Without one the console
// is the front end.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/gtk_module.h"

namespace platform {
namespace posix {

namespace {

bool set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

bool tried = false;
const GtkModule* started = nullptr;

const GtkModule* load_and_start() {
  if (!set("DISPLAY") && !set("WAYLAND_DISPLAY")) return nullptr;
  std::string path = module_path();
  path = path.substr(0, path.find_last_of('/') + 1) + kGtkModuleFile;
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    // A program copied without its module still works, in the console.
    std::fprintf(stderr, "The wizard's window cannot be loaded: %s\n", ::dlerror());
    return nullptr;
  }
  using Entry = const GtkModule* (*)();
  const auto entry = reinterpret_cast<Entry>(::dlsym(library, kGtkModuleEntry));
  const GtkModule* module = entry ? entry() : nullptr;
  return module && module->start() ? module : nullptr;
}

}  // namespace

const GtkModule* gtk_module() { return started; }

}  // namespace posix

std::vector<std::string> companion_files() { return {posix::kGtkModuleFile}; }

bool graphical_front_end_available() {
  if (!posix::tried) {
    posix::tried = true;
    posix::started = posix::load_and_start();
  }
  return posix::started != nullptr;
}

WizardWindow* create_wizard_window(const WizardHandlers& handlers) {
  return graphical_front_end_available() ? posix::started->create_wizard_window(handlers) : nullptr;
}

void run_message_loop() {
  if (posix::started) posix::started->run_message_loop();
}

}  // namespace platform
