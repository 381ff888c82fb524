// The wizard's pages: carried in the executable, written into the program's
// folder so that the browser can show them as files, and shown by name.
#pragma once

#include <cstddef>

struct PageEntry {
  const char* file;      // written as ".\<file>"
  const char* resource;  // its resource of type "DATA"
};
// The page set, in the order the pages are written and deleted.
extern const PageEntry kPageSet[];
extern const size_t kPageCount;

// Writes one resource, byte for byte, as a file; false when there is no such
// resource or the file cannot be written whole.
bool resource_to_file(const char* file, const char* resource);
// Writes every page; a page that cannot be written is passed over.
void extract_pages();
// Deletes the page files; missing ones are passed over.
void remove_pages();

// Shows a page in the wizard's window. With `fill` the page's "%s" first
// receives the current project's statistics. "end.htm" is no page but the
// wizard's end: the results are saved, the user thanked and the window
// closed. Without a wizard window (the console) nothing is navigated.
void show_page(const char* name, bool fill);
