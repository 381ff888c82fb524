#include "bookmarks/record_stream.h"

#include <cstring>

namespace {

// Records are read in blocks so a large project costs few system calls.
constexpr size_t kBlockRecords = 64;

// Reads until `n` bytes have arrived or the file gives no more.
size_t read_fully(platform::File& file, unsigned char* buffer, size_t n) {
  size_t got = 0;
  while (got < n) {
    const size_t step = file.read(buffer + got, n - got);
    if (step == 0) break;
    got += step;
  }
  return got;
}

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
  if (!file_.seek(0)) return false;
  // The header is not used; a file shorter than one has no records.
  unsigned char header[kHeaderSize];
  if (read_fully(file_, header, kHeaderSize) < kHeaderSize) at_end_ = true;
  return true;
}

bool RecordStream::fill() {
  if (at_end_) return false;
  filled_ = read_fully(file_, block_.data(), block_.size());
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
