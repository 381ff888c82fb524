// The text-mode front end: resume or create a project, choose its source,
// run the checker workers, choose where to save, save.
#pragma once

#include <cstdio>

// Sets console_mode, obtains a console for the process and runs the dialogue
// on the standard streams. Returns at its end and after a failed Firefox
// lookup; the caller then ends the process.
void run_console_mode();

// The streams of one dialogue and the key wait that ends it. The program
// passes the standard streams and the platform's pause; tests pass files.
struct ConsoleStreams {
  std::FILE* in;
  std::FILE* out;
  void (*pause)();
};

// Everything after the console is obtained: banner, questions, run, save.
void run_console_dialogue(const ConsoleStreams& io);
