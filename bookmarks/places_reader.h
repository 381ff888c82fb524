// Reads Firefox's bookmark database into the new project file, one record per
// bookmark, in the order of the browser's own tree.
#pragma once

// Appends the database's bookmarks to project_stream. False, with the reason
// told to the user, when the database cannot be read: then nothing is
// appended.
bool read_places_database(const char* path);
