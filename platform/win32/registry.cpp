// The registry on Win32.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_support.h"

namespace platform {

namespace {

HKEY root_key(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::current_user: return HKEY_CURRENT_USER;
    case RegistryRoot::local_machine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::classes_root: return HKEY_CLASSES_ROOT;
  }
  return HKEY_CURRENT_USER;
}

}  // namespace

bool registry_key_opens(RegistryRoot root, const std::string& key) {
  win32::ScopedKey opened;
  return ::RegOpenKeyExA(root_key(root), key.c_str(), 0, KEY_ALL_ACCESS, opened.receive()) ==
         ERROR_SUCCESS;
}

bool registry_read_string(RegistryRoot root, const std::string& key,
                          const std::string& value, std::string& out) {
  win32::ScopedKey opened;
  if (::RegOpenKeyExA(root_key(root), key.c_str(), 0, KEY_QUERY_VALUE, opened.receive()) !=
      ERROR_SUCCESS)
    return false;
  std::vector<char> buffer(1024);
  for (;;) {
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buffer.size());
    const LONG status = ::RegQueryValueExA(opened.get(), value.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (status == ERROR_MORE_DATA) {
      buffer.resize(static_cast<size_t>(size) + 1);
      continue;
    }
    if (status != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return false;
    // Stored strings may or may not carry their terminator.
    size_t length = size;
    if (length > buffer.size()) length = buffer.size();
    out.assign(buffer.data(), length);
    const size_t nul = out.find('\0');
    if (nul != std::string::npos) out.resize(nul);
    return true;
  }
}

bool registry_write_string(RegistryRoot root, const std::string& key,
                           const std::string& value, const std::string& data) {
  win32::ScopedKey opened;
  if (::RegCreateKeyExA(root_key(root), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, opened.receive(), nullptr) != ERROR_SUCCESS)
    return false;
  // Stored with the length of the text alone, no terminating NUL. The
  // system counts the NUL in when one follows the given bytes, so none does.
  const std::string unterminated = data + '.';
  return ::RegSetValueExA(opened.get(), value.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(unterminated.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool registry_delete_key(RegistryRoot root, const std::string& key) {
  // An empty key would name the root itself.
  if (key.empty()) return false;
  return ::RegDeleteTreeA(root_key(root), key.c_str()) == ERROR_SUCCESS;
}

}  // namespace platform
