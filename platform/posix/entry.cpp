// The process entry on POSIX: the arguments become one command line, as the
// Windows entry point receives it.
#include <string>

#include "core/startup.h"

int main(int argc, char** argv) {
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }
  return lvn_main(command_line.c_str());
}
