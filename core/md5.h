// MD5 message digest, for the checksum that Chromium browsers keep in their
// bookmarks file. Not for anything that needs security.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Md5 {
 public:
  Md5();
  void update(const void* data, size_t length);
  void update(const std::string& text) { update(text.data(), text.size()); }
  // The digest as 32 lower-case hexadecimal digits. Ends the computation.
  std::string hex_digest();

 private:
  void transform(const unsigned char block[64]);

  uint32_t state_[4];
  uint64_t length_ = 0;  // bytes taken in so far
  unsigned char buffer_[64];
};
