// The process entry on Win32: a windowed program receives its command line
// as one string, without the program's own name.
#include <windows.h>

#include "core/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  (void)instance;
  (void)previous;
  (void)show;
  return lvn_main(command_line);
}
