// The item list dialog ("DIALOG_Q") on Win32: a report-style list view of
// the rows the wizard hands over, Recover, Close and Test in Browser.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr int kCaptionLine = 701;
constexpr int kList = 901;
constexpr int kRecover = 1;
constexpr int kClose = 2;
constexpr int kTestInBrowser = 9;

struct Column {
  const char* header;
  int width;
};
const Column kColumns[] = {{"#", 30},     {"Link", 400},    {"URL", 400},
                           {"File", 400}, {"QReason", 100}, {"Entry", 100}};
constexpr int kColumnCount = 6;
constexpr int kEntryColumn = 5;
constexpr int kUrlColumn = 2;

void set_text(HWND list, int item, int column, const std::string& text) {
  LVITEMA cell = {};
  cell.iSubItem = column;
  cell.pszText = const_cast<char*>(text.c_str());
  ::SendMessageA(list, LVM_SETITEMTEXTA, item, reinterpret_cast<LPARAM>(&cell));
}

std::string cell_text(HWND list, int item, int column) {
  char text[1000] = {};
  LVITEMA cell = {};
  cell.iSubItem = column;
  cell.pszText = text;
  cell.cchTextMax = sizeof text;
  ::SendMessageA(list, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&cell));
  return text;
}

void autosize_columns(HWND list, int how) {
  for (int column = 0; column < kColumnCount; ++column)
    ::SendMessageA(list, LVM_SETCOLUMNWIDTH, column, how);
}

void fill(HWND dialog, const ItemList& list) {
  if (!list.recover_enabled) ::EnableWindow(::GetDlgItem(dialog, kRecover), FALSE);
  if (!list.caption_line) ::DestroyWindow(::GetDlgItem(dialog, kCaptionLine));
  HWND view = ::GetDlgItem(dialog, kList);
  for (int column = 0; column < kColumnCount; ++column) {
    LVCOLUMNA header = {};
    header.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    header.fmt = LVCFMT_LEFT;
    header.cx = kColumns[column].width;
    header.pszText = const_cast<char*>(kColumns[column].header);
    header.iSubItem = column;
    ::SendMessageA(view, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&header));
  }
  ::SendMessageA(view, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  autosize_columns(view, LVSCW_AUTOSIZE_USEHEADER);
  int index = 0;
  for (const ItemRow& row : list.rows) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>(row.number.c_str());
    ::SendMessageA(view, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    set_text(view, index, 5, row.entry);
    set_text(view, index, 1, row.name);
    set_text(view, index, 2, row.url);
    set_text(view, index, 3, row.file);
    if (!row.reason.empty()) set_text(view, index, 4, row.reason);
    ++index;
  }
  autosize_columns(view, LVSCW_AUTOSIZE);
}

std::vector<int> selected_rows(HWND view) {
  std::vector<int> rows;
  for (int row = -1;
       (row = static_cast<int>(::SendMessageA(view, LVM_GETNEXTITEM, row, LVNI_SELECTED))) != -1;)
    rows.push_back(row);
  return rows;
}

void recover(HWND dialog, const ItemList& list) {
  if (!list.recover) return;
  HWND view = ::GetDlgItem(dialog, kList);
  const std::vector<int> rows = selected_rows(view);
  std::vector<std::string> entries;
  for (int row : rows) entries.push_back(cell_text(view, row, kEntryColumn));
  const std::vector<bool> done = list.recover(entries);
  // From the bottom up, so that the rows still to go keep their indexes.
  for (size_t i = rows.size(); i-- > 0;)
    if (i < done.size() && done[i]) ::SendMessageA(view, LVM_DELETEITEM, rows[i], 0);
}

INT_PTR CALLBACK item_list_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      fill(dialog, *reinterpret_cast<const ItemList*>(lparam));
      return TRUE;
    case WM_COMMAND: {
      const auto* list = reinterpret_cast<const ItemList*>(::GetWindowLongPtrA(dialog, DWLP_USER));
      switch (LOWORD(wparam)) {
        case kRecover:
          recover(dialog, *list);
          return TRUE;
        case kTestInBrowser: {
          HWND view = ::GetDlgItem(dialog, kList);
          const int row = static_cast<int>(::SendMessageA(view, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
          if (row == -1) return FALSE;
          if (list->test_in_browser) list->test_in_browser(cell_text(view, row, kUrlColumn));
          return TRUE;
        }
        default:
          ::EndDialog(dialog, kClose);
          return TRUE;
      }
    }
    case WM_CLOSE:
      ::EndDialog(dialog, kClose);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void show_item_list(void* owner, const ItemList& list) {
  if (DialogScript* script = dialog_script()) {
    script->item_list(list);
    return;
  }
  ::DialogBoxParamA(::GetModuleHandleA(nullptr), "DIALOG_Q", static_cast<HWND>(owner),
                    item_list_procedure, reinterpret_cast<LPARAM>(&list));
}

}  // namespace platform
