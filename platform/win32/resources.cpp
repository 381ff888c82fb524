// The program's resources of type "DATA" (the wizard's pages), from the
// resource section of the executable (resources/lvn.rc).
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform {

bool load_data_resource(const std::string& name, std::string& bytes) {
  // The module of the running program, not of a library that may hold this code.
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, name.c_str(), "DATA");
  if (!found) return false;
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return false;
  // Resources stay mapped with the module: there is nothing to release.
  bytes.assign(static_cast<const char*>(data), SizeofResource(module, found));
  return true;
}

}  // namespace platform
