#include "checker/site_root.h"

#include "core/records.h"

void cut_to_site(char* url, size_t size) {
  const size_t length = field_length(url, size);
  size_t host = 0;
  for (size_t i = 0; i + 2 < length; ++i) {
    if (url[i] == ':' && url[i + 1] == '/' && url[i + 2] == '/') {
      host = i + 3;
      break;
    }
  }
  for (size_t i = host; i < length; ++i) {
    if (url[i] == '/') {
      url[i] = '\0';  // the cut-off part stays behind the terminator
      return;
    }
  }
}
