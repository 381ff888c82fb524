// The wizard's dialogs on Win32: message boxes with Yes and No, the common
// file dialogs and the shell's folder browser; each asks the test script
// first when one is set.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_support.h"

namespace platform {

bool ask_yes_no(void* owner, const std::string& text, const std::string& caption,
                MessageIcon icon, bool default_no) {
  if (DialogScript* script = dialog_script())
    return script->ask_yes_no(text, caption, icon, default_no);
  const UINT style =
      MB_YESNO | win32::message_icon_style(icon) | (default_no ? MB_DEFBUTTON2 : MB_DEFBUTTON1);
  return ::MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), style) == IDYES;
}

bool choose_file(void* owner, const FileChoice& choice, std::string& path) {
  if (DialogScript* script = dialog_script()) return script->choose_file(choice, path);
  // The filter is pairs of NUL-terminated texts, ended by an empty one.
  std::string filter = choice.filter_name;
  filter += '\0';
  filter += choice.filter_pattern;
  filter += '\0';
  char buffer[kDialogPathSize] = {};
  std::strncpy(buffer, path.c_str(), sizeof buffer - 1);

  OPENFILENAMEA dialog;
  std::memset(&dialog, 0, sizeof dialog);
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = static_cast<HWND>(owner);
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = buffer;
  dialog.nMaxFile = sizeof buffer;
  dialog.lpstrTitle = choice.title.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                 (choice.for_saving ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  const BOOL chosen = choice.for_saving ? ::GetSaveFileNameA(&dialog) : ::GetOpenFileNameA(&dialog);
  if (!chosen) return false;
  path = buffer;
  return true;
}

bool choose_folder(void* owner, const std::string& title, std::string& path) {
  if (DialogScript* script = dialog_script()) return script->choose_folder(title, path);
  char display_name[MAX_PATH] = {};
  BROWSEINFOA browse;
  std::memset(&browse, 0, sizeof browse);
  browse.hwndOwner = static_cast<HWND>(owner);
  browse.pszDisplayName = display_name;
  browse.lpszTitle = title.c_str();
  LPITEMIDLIST chosen = ::SHBrowseForFolderA(&browse);
  if (!chosen) return false;
  char folder[MAX_PATH] = {};
  const bool named = ::SHGetPathFromIDListA(chosen, folder) != FALSE;
  ::CoTaskMemFree(chosen);
  if (!named) return false;
  path = folder;
  return true;
}

std::string program_files_folder() {
  char folder[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE)) return std::string();
  return folder;
}

}  // namespace platform
