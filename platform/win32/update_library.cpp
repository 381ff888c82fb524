// Whole-file downloads through WinInet and run-time libraries by full path.
#include "platform/platform.h"

#include <windows.h>
#include <wininet.h>

namespace platform {
namespace {

constexpr DWORD kDontCache = 0x04000000;  // INTERNET_FLAG_DONT_CACHE
constexpr DWORD kStallLimitMs = 60000;

DWORD query_number(HINTERNET request, DWORD what, bool& known) {
  DWORD value = 0, size = sizeof value;
  known = HttpQueryInfoA(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr) != FALSE;
  return value;
}

// Reads the whole body; true when it all arrived and the sink took it.
bool read_body(HINTERNET request, bool (*sink)(void*, const char*, size_t), void* context) {
  bool status_known = false, length_known = false;
  if (query_number(request, HTTP_QUERY_STATUS_CODE, status_known) != 200 || !status_known)
    return false;
  const DWORD announced = query_number(request, HTTP_QUERY_CONTENT_LENGTH, length_known);
  char piece[10000];
  unsigned long long received = 0;
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(request, piece, sizeof piece, &got)) return false;
    if (got == 0) break;
    received += got;
    if (!sink(context, piece, got)) return false;
  }
  // A connection that drops early still ends with a read of 0 bytes.
  return !length_known || received == announced;
}

}  // namespace

bool http_download(const std::string& agent, const std::string& url,
                   bool (*sink)(void* context, const char* data, size_t n), void* context,
                   const std::string& /*trusted_certificates*/) {
  HINTERNET session = InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!session) return false;
  DWORD limit = kStallLimitMs;
  InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &limit, sizeof limit);
  InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &limit, sizeof limit);
  // No flag that waives certificate checks: an https answer must prove the server.
  HINTERNET request = InternetOpenUrlA(session, url.c_str(), nullptr, 0, kDontCache, 0);
  const bool complete = request && read_body(request, sink, context);
  if (request) InternetCloseHandle(request);
  InternetCloseHandle(session);
  return complete;
}

std::string update_library_path() {
  char folder[MAX_PATH] = {};
  const UINT n = GetWindowsDirectoryA(folder, sizeof folder);
  if (n == 0 || n >= sizeof folder) return std::string();
  std::string path(folder);
  if (path.back() != '\\') path += '\\';
  return path + "HU.DLL";
}

void* load_library(const std::string& full_path) {
  const bool drive = full_path.size() > 2 && full_path[1] == ':' && full_path[2] == '\\';
  const bool share = full_path.compare(0, 2, "\\\\") == 0;
  if (!drive && !share) return nullptr;  // full paths only, never a search
  // The library's own dependencies are looked for beside it first.
  return LoadLibraryExA(full_path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void* library_entry(void* library, const char* name) {
  return library ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name))
                 : nullptr;
}

void free_library(void* library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace platform
