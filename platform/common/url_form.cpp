#include "platform/common/url_form.h"

namespace platform {
namespace common {

std::string browser_url_form(const std::string& url) {
  size_t begin = 0, end = url.size();
  while (begin < end && static_cast<unsigned char>(url[begin]) <= 0x20) ++begin;
  while (end > begin && static_cast<unsigned char>(url[end - 1]) <= 0x20) --end;
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(end - begin);
  bool in_query = false;
  for (size_t i = begin; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(url[i]);
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (c == '?' || c == '#') in_query = true;
    if (c == '\\' && !in_query) {
      out += '/';
    } else if (c <= 0x20 || c == 0x7f) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace common
}  // namespace platform
