// The installer's platform work on Win32: shell links, delayed deletion and
// ending the process.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/win32/com_ptr.h"

namespace platform {

namespace {

// The roles that make shortcuts run before any window has set COM up; a
// thread that has it already keeps its own setting.
class ComScope {
 public:
  ComScope() : ok_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComScope() {
    if (ok_) ::CoUninitialize();
  }

 private:
  bool ok_;
};

}  // namespace

bool create_shortcut(const Shortcut& shortcut) {
  ComScope com;
  win32::ComPtr<IShellLinkA> link;
  HRESULT result = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, link.receive_void());
  if (FAILED(result)) return false;
  link->SetPath(shortcut.target.c_str());
  link->SetWorkingDirectory(shortcut.working_directory.c_str());
  link->SetDescription(shortcut.description.c_str());
  if (!shortcut.arguments.empty()) link->SetArguments(shortcut.arguments.c_str());
  link->SetIconLocation(shortcut.target.c_str(), shortcut.icon_index);
  win32::ComPtr<IPersistFile> file = win32::query<IPersistFile>(link.get(), IID_IPersistFile);
  if (!file) return false;
  // The link's name in UTF-16, at most MAX_PATH characters with its end.
  wchar_t name[MAX_PATH] = {};
  const std::string path = shortcut.link + ".LNK";
  if (::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, name, MAX_PATH) == 0) return false;
  result = file->Save(name, TRUE);
  return SUCCEEDED(result);
}

bool delete_shortcut(const std::string& link) { return delete_file(link + ".LNK"); }

void associate_project_files(const std::string& /*executable*/) {}
void dissociate_project_files() {}

bool delete_at_restart(const std::string& path) {
  return ::MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

void exit_process(int code) { ::ExitProcess(static_cast<UINT>(code)); }

}  // namespace platform
