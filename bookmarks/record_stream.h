// Reading a project's bookmark records one at a time, for the writers that
// turn a finished project back into bookmarks. Only one block of records is
// held at a time, so a save costs the same memory however large the project.
#pragma once

#include <vector>

#include "core/records.h"
#include "platform/platform.h"

class RecordStream {
 public:
  // Opens the project file and moves to its first record; false when it
  // cannot be opened.
  bool open(const char* path);
  // Back to the first record, for another pass over the project.
  bool rewind();
  // The next record in file order; false after the last. The header is
  // skipped, and a trailing partial record counts, its missing bytes zero.
  bool next(LVK_URL& record);

 private:
  bool fill();

  platform::File file_;
  std::vector<unsigned char> block_;
  size_t filled_ = 0;    // bytes of block_ that hold file content
  size_t position_ = 0;  // the next record's offset in block_
  bool at_end_ = false;  // the file gave no more after the current block
};
