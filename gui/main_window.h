// The main window's switchboard: app commands, the close request and the
// progress tick. The platform's window calls these on the window thread.
#pragma once

// Carries out app command N; 0 when N is a command and was acted on, 1
// otherwise (also for the end notice of a worker that is not the last).
int handle_app_command(unsigned command);
// "Exit", or the window closed from its title bar: finishes the wizard, or
// during a run asks first and stops the run.
void close_request();
// Every five seconds: the records done so far in the title and on the
// progress bar of the running page.
void progress_tick();
