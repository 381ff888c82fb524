#include "bookmarks/record_stream.h"

#include <cstring>

#include "core/project.h"

namespace {

// Records are read in blocks so a large project costs few system calls.
constexpr size_t kBlockRecords = 64;


}  // namespace

bool RecordStream::open(const char* path) {
  file_ = platform::open_file(path, platform::FileAccess::read);
  if (!file_.is_open()) return false;
  block_.resize(kBlockRecords * kRecordSize);
  return rewind();
}

bool RecordStream::rewind() {
  filled_ = 0;
  position_ = 0;
  at_end_ = false;
  // The header is not used; a file shorter than one has no records.
  ProjectHeader header;
  if (!read_project_header(file_, header)) at_end_ = true;
  return file_.is_open();
}

bool RecordStream::fill() {
  if (at_end_) return false;
  filled_ = file_.read(block_.data(), block_.size());
  position_ = 0;
  if (filled_ < block_.size()) at_end_ = true;
  return filled_ > 0;
}

bool RecordStream::next(LVK_URL& record) {
  if (position_ >= filled_ && !fill()) return false;
  const size_t rest = filled_ - position_;
  if (rest >= kRecordSize) {
    decode_record(block_.data() + position_, record);
  } else {
    unsigned char last[kRecordSize];
    std::memset(last, 0, sizeof last);
    std::memcpy(last, block_.data() + position_, rest);
    decode_record(last, record);
  }
  position_ += kRecordSize;
  return true;
}
