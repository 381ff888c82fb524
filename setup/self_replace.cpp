#include "setup/self_replace.h"

#include "platform/platform.h"

void run_self_replacement() {
  // Give the copy that started us time to end and release its file.
  platform::sleep_ms(5000);
  platform::copy_file(platform::module_path(), ".\\LVN.EXE");
  platform::shell_open(".\\LVN.EXE");
  platform::sleep_ms(4000);
}
