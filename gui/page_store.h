// Showing wizard pages in the main window.
#pragma once

// Will show a page of the wizard in the main window, optionally filled with
// the project statistics. No wizard window exists yet, so for now this does
// nothing; the console, which has no window, relies on that.
void show_page(const char* name, bool fill);
