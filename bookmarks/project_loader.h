// Loading every bookmark record of a project file into memory, for the
// writers that turn a finished project back into bookmarks.
#pragma once

#include <vector>

#include "core/records.h"

// Reads the header (not used) and then 2012-byte records until a read returns
// nothing; a trailing partial record counts, its missing bytes zero. False
// when the project file cannot be opened; then `records` is left empty.
bool load_project_records(const char* path, std::vector<LVK_URL>& records);
