// Where Chromium browsers keep their user data on Windows, and whether one
// of them has a profile open.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

// A running browser holds its "lockfile" open without letting anyone else
// write or delete it. A lockfile that opens so was left by a crash.
bool lockfile_held(const std::string& folder) {
  const std::string path = folder + "\\lockfile";
  if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE | DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_SHARING_VIOLATION;
  ::CloseHandle(handle);
  return false;
}

}  // namespace

std::string local_application_data_folder() {
  char path[MAX_PATH] = {0};
  if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path))) return "";
  return path;
}

bool chromium_profile_in_use(const std::string& profile_folder) {
  if (lockfile_held(profile_folder)) return true;
  const size_t slash = profile_folder.find_last_of("\\/");
  return slash != std::string::npos && slash > 0 &&
         lockfile_held(profile_folder.substr(0, slash));
}

}  // namespace platform
