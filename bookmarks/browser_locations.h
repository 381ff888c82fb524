// Finding the browsers' own bookmark collections: the Favorites folder of the
// current user, and the bookmark file and bookmark database of the default
// Firefox profile.
#pragma once

// Fills the 1000-byte destination with the user's Favorites folder, its
// environment references expanded; empty when the setting is missing.
void find_favorites_directory(char* destination);

// Fills the 1000-byte destination with the full path of the bookmark file in
// the first profile folder whose name holds "default", and returns true when
// that file opens for reading. On failure the destination holds the profiles
// folder (it is not meant to be used then) and false is returned.
bool find_firefox_bookmark_file(char* destination);

// Fills the 1000-byte destination with the full path of the bookmark
// database ("places.sqlite") of the default Firefox profile and returns true
// when it opens for reading: the profile that profiles.ini names as an
// install's default, else the first profile folder whose name holds
// "default". On failure the destination is left as it was.
bool find_firefox_places_database(char* destination);
