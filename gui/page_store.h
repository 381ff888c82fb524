// Showing wizard pages in the main window.
#pragma once

// Shows a page of the wizard in the main window, optionally filled with the
// project statistics. Without a main window (console mode) nothing happens.
void show_page(const char* name, bool fill);
