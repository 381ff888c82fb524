// Directory listing on Win32: find-first/next behind platform::DirListing.
// A pattern of MAX_PATH characters or more is searched with the wide
// functions in its "\\?\" form, and the names come back in the ANSI code page.
#include <windows.h>

#include <new>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_support.h"

namespace platform {

namespace {

void set_kind(DWORD attributes, DirEntry& entry) {
  entry.is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.is_file = (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

}  // namespace

// The find handle and the entry that the next call to next() gives.
struct DirListing::State {
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA data{};
  WIN32_FIND_DATAW wide_data{};
  bool wide = false;
  bool have_pending = false;

  ~State() {
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
  }
};

bool DirListing::open(const std::string& pattern) {
  close();
  State* state = new (std::nothrow) State;
  if (!state) return false;
  const std::wstring long_form = win32::long_path_form(pattern);
  state->wide = !long_form.empty();
  state->find = state->wide ? ::FindFirstFileW(long_form.c_str(), &state->wide_data)
                            : ::FindFirstFileA(pattern.c_str(), &state->data);
  if (state->find == INVALID_HANDLE_VALUE) {
    delete state;
    return false;
  }
  state->have_pending = true;
  state_ = state;
  return true;
}

bool DirListing::next(DirEntry& entry) {
  if (!state_ || !state_->have_pending) return false;
  if (state_->wide) {
    entry.name = win32::narrow(state_->wide_data.cFileName);
    set_kind(state_->wide_data.dwFileAttributes, entry);
    state_->have_pending = ::FindNextFileW(state_->find, &state_->wide_data) != 0;
    return true;
  }
  entry.name = state_->data.cFileName;
  set_kind(state_->data.dwFileAttributes, entry);
  state_->have_pending = ::FindNextFileA(state_->find, &state_->data) != 0;
  return true;
}

void DirListing::close() {
  delete state_;
  state_ = nullptr;
}

}  // namespace platform
