// Finding the "Bookmarks" file of an installed Chromium browser.
#pragma once

// Fills the 1000-byte destination with the first profile's "Bookmarks" file
// that opens for reading, and returns true. The browsers are tried in turn
// (Chrome, Edge, Chromium, Brave, Vivaldi); in each, the "Default" profile
// comes before the others. False, the destination untouched, when none is
// found.
bool find_chromium_bookmark_file(char* destination);
