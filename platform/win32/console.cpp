// The console on Win32: a console of the process's own and the command
// interpreter's "pause".
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace platform {

void pause_console() { std::system("pause"); }

void attach_console() {
  // A process started from a console already has one; AllocConsole then
  // fails and the devices below name that console.
  ::AllocConsole();
  std::freopen("CONIN$", "r", stdin);
  std::freopen("CONOUT$", "a", stdout);
  std::freopen("CONOUT$", "a", stderr);
  // The program's texts carry their own CR LF; text mode would add a CR.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::setvbuf(stdin, nullptr, _IONBF, 0);
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::setvbuf(stderr, nullptr, _IONBF, 0);
}

}  // namespace platform
