#include "bookmarks/project_loader.h"

#include <cstring>

#include "platform/platform.h"

namespace {

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

bool load_project_records(const char* path, std::vector<LVK_URL>& records) {
  records.clear();
  platform::File file = platform::open_file(path, platform::FileAccess::read);
  if (!file.is_open()) return false;

  // Reserving from the size keeps the array at exactly the records it holds
  // instead of doubling past them on a large project.
  const int64_t size = file.size();
  if (size > static_cast<int64_t>(kHeaderSize)) {
    const int64_t body = size - static_cast<int64_t>(kHeaderSize);
    records.reserve(static_cast<size_t>((body + kRecordSize - 1) / kRecordSize));
  }

  unsigned char header[kHeaderSize];
  read_fully(file, header, kHeaderSize);

  // Records are read in blocks so a large project costs few system calls.
  constexpr size_t kBlockRecords = 64;
  std::vector<unsigned char> block(kBlockRecords * kRecordSize);
  for (;;) {
    const size_t got = read_fully(file, block.data(), block.size());
    if (got == 0) break;
    const size_t whole = got / kRecordSize;
    const size_t rest = got % kRecordSize;
    for (size_t i = 0; i < whole; ++i) {
      records.emplace_back();
      decode_record(block.data() + i * kRecordSize, records.back());
    }
    if (rest != 0) {
      unsigned char last[kRecordSize];
      std::memset(last, 0, sizeof last);
      std::memcpy(last, block.data() + whole * kRecordSize, rest);
      records.emplace_back();
      decode_record(last, records.back());
    }
    if (got < block.size()) break;
  }
  return true;
}
