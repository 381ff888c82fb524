// A stand-in for the maker's update library, built so that the update check
// can be run for real. It does the least a real one must: it takes the
// request, checks its sizes and entry count, and records what it was given by
// appending the request and its entries to the file named by LVN_HU_RECORD.
// Result: 1 for a request it accepts, -1 for one it refuses.
#include <cstdio>
#include <cstdlib>

#include "setup/update_request.h"

#ifdef _WIN32
#include <windows.h>
#define HU_EXPORT extern "C" __declspec(dllexport)
#else
#define HU_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

bool record_path(char* path, size_t size) {
#ifdef _WIN32
  const DWORD n = GetEnvironmentVariableA("LVN_HU_RECORD", path, static_cast<DWORD>(size));
  return n > 0 && n < size;
#else
  const char* value = std::getenv("LVN_HU_RECORD");
  if (!value) return false;
  std::snprintf(path, size, "%s", value);
  return true;
#endif
}

}  // namespace

HU_EXPORT int32_t HU_Update(UpdateRequest* request) {
  if (!request || request->size != kUpdateRequestSize || request->entry_count != kUpdateFileCount ||
      !request->entries)
    return -1;
  for (uint32_t i = 0; i < request->entry_count; ++i)
    if (request->entries[i].size != kUpdateFileEntrySize) return -1;
  char path[4096];
  if (!record_path(path, sizeof path)) return 1;
  if (FILE* out = std::fopen(path, "ab")) {
    std::fwrite(request, sizeof *request, 1, out);
    std::fwrite(request->entries, sizeof *request->entries, request->entry_count, out);
    std::fclose(out);
  }
  return 1;
}
