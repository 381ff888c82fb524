// The client site of the browser host: the faces the embedded control asks
// for, its in-place frame, and the event sink that catches the wizard's own
// links and forms before the browser follows them.
#include <windows.h>
#include <ole2.h>
#include <exdispid.h>

#include <cstring>
#include <new>

#include "platform/win32/host_object.h"

namespace platform {
namespace win32 {

namespace {

NavigationHandler navigation_handler = nullptr;

// The event sink's text buffer, as the browser's texts arrive in it.
constexpr int kEventTextSize = 1000;

// BeforeNavigate2's arguments as the platform stores them: last parameter
// first.
enum BeforeNavigate2Argument : UINT {
  kCancelArgument = 0,
  kHeadersArgument,
  kPostDataArgument,
  kTargetFrameArgument,
  kFlagsArgument,
  kUrlArgument,
  kBrowserArgument,
  kBeforeNavigate2Arguments
};
static_assert(kUrlArgument == 5, "the URL is the sixth stored argument");

// Replaces `text` with `value` in the ANSI code page; a value too long for
// the buffer is cut, never written past it.
void take_text(BSTR value, char (&text)[kEventTextSize]) {
  std::memset(text, 0, sizeof text);
  if (!value) return;
  const int length = static_cast<int>(::SysStringLen(value));
  const int needed = ::WideCharToMultiByte(CP_ACP, 0, value, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return;
  if (needed < kEventTextSize) {
    ::WideCharToMultiByte(CP_ACP, 0, value, length, text, kEventTextSize - 1, nullptr, nullptr);
    return;
  }
  char* whole = new (std::nothrow) char[needed];
  if (!whole) return;
  ::WideCharToMultiByte(CP_ACP, 0, value, length, whole, needed, nullptr, nullptr);
  std::memcpy(text, whole, kEventTextSize - 1);
  delete[] whole;
}

bool begins_with_app(const char* text) { return std::strncmp(text, "app:", 4) == 0; }

// Cancels the navigation and hands its text to the wizard instead.
HRESULT intercept(DISPPARAMS* params, const char* text) {
  for (UINT i = 0; i < params->cArgs; ++i) {
    VARIANT& argument = params->rgvarg[i];
    if (argument.vt == (VT_BYREF | VT_BOOL)) {
      if (argument.pboolVal) *argument.pboolVal = VARIANT_TRUE;
      break;
    }
  }
  return navigation_handler ? static_cast<HRESULT>(navigation_handler(text)) : S_OK;
}

}  // namespace

void set_navigation_handler(NavigationHandler handler) { navigation_handler = handler; }

STDMETHODIMP MyClientSite::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IOleClientSite) || IsEqualIID(iid, IID_IUnknown))
    *out = static_cast<IOleClientSite*>(this);
  else if (IsEqualIID(iid, IID_IAdviseSink))
    *out = static_cast<IAdviseSink*>(this);
  else if (IsEqualIID(iid, IID_IDispatch))
    *out = static_cast<IDispatch*>(this);
  else if (!in_place_withheld_ && IsEqualIID(iid, IID_IOleInPlaceSite))
    *out = static_cast<IOleInPlaceSite*>(this);
  else if (!in_place_withheld_ &&
           (IsEqualIID(iid, IID_IOleInPlaceFrame) || IsEqualIID(iid, IID_IOleInPlaceUIWindow)))
    *out = static_cast<IOleInPlaceFrame*>(this);
  if (!*out) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

STDMETHODIMP MyClientSite::GetMoniker(DWORD, DWORD, IMoniker** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP MyClientSite::GetContainer(IOleContainer** out) {
  if (out) *out = nullptr;
  return E_FAIL;
}

STDMETHODIMP MyClientSite::OnShowWindow(BOOL) {
  ::InvalidateRect(host_window_, nullptr, TRUE);
  ::InvalidateRect(frame_window_, nullptr, TRUE);
  return S_OK;
}

STDMETHODIMP MyClientSite::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = host_window_;
  return S_OK;
}

STDMETHODIMP MyClientSite::GetWindowContext(IOleInPlaceFrame** frame,
                                            IOleInPlaceUIWindow** document, RECT* position,
                                            RECT* clip, OLEINPLACEFRAMEINFO* info) {
  if (frame) {
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
  }
  if (document) *document = nullptr;
  if (position) ::GetClientRect(host_window_, position);
  if (clip) ::GetClientRect(host_window_, clip);
  if (info) {
    info->cb = sizeof *info;
    info->fMDIApp = FALSE;
    info->hwndFrame = frame_window_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}

STDMETHODIMP MyClientSite::GetBorder(RECT* border) {
  if (!border) return E_POINTER;
  ::GetClientRect(host_window_, border);
  return S_OK;
}

STDMETHODIMP MyClientSite::SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) {
  if (active) active->AddRef();
  owner_->active_.reset(active);
  return S_OK;
}

bool MyClientSite::menus_enabled() const { return owner_->menus_enabled_; }

STDMETHODIMP MyClientSite::InsertMenus(HMENU, OLEMENUGROUPWIDTHS* widths) {
  if (!menus_enabled()) return E_NOTIMPL;
  // The File, Container and Window groups: the frame adds nothing.
  if (widths) widths->width[0] = widths->width[2] = widths->width[4] = 0;
  return S_OK;
}

STDMETHODIMP MyClientSite::SetMenu(HMENU shared, HOLEMENU descriptor, HWND object_window) {
  if (!menus_enabled()) return E_NOTIMPL;
  if (!shared && !descriptor) {
    ::SetMenu(frame_window_, frame_menu_);
  } else {
    ::SetMenu(frame_window_, shared);
    ::OleSetMenuDescriptor(descriptor, frame_window_, object_window, nullptr, nullptr);
  }
  ::DrawMenuBar(frame_window_);
  return S_OK;
}

STDMETHODIMP MyClientSite::RemoveMenus(HMENU shared) {
  if (!menus_enabled()) return E_NOTIMPL;
  if (!shared) return S_OK;
  for (int position = ::GetMenuItemCount(shared) - 1; position >= 0; --position) {
    if (::GetSubMenu(shared, position) == frame_menu_)
      ::RemoveMenu(shared, static_cast<UINT>(position), MF_BYPOSITION);
  }
  if (shared == frame_menu_) ::DestroyMenu(shared);
  ::DrawMenuBar(frame_window_);
  return S_OK;
}

// Every navigation passes here first. The wizard's "app:" links and forms
// sent to "cgi.htm" are cancelled and handed over; the rest go on.
STDMETHODIMP MyClientSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                  EXCEPINFO*, UINT*) {
  if (id != DISPID_BEFORENAVIGATE2 || !params || !params->rgvarg ||
      params->cArgs != kBeforeNavigate2Arguments)
    return E_NOTIMPL;
  char text[kEventTextSize] = {};
  for (UINT i = 0; i < params->cArgs; ++i) {
    const VARIANT& argument = params->rgvarg[i];
    if (argument.vt == (VT_BYREF | VT_VARIANT) && argument.pvarVal &&
        argument.pvarVal->vt == VT_BSTR)
      take_text(argument.pvarVal->bstrVal, text);
    if (std::strstr(text, "cgi.htm") || begins_with_app(text)) return intercept(params, text);
    if (argument.vt == VT_BSTR) {
      take_text(argument.bstrVal, text);
      if (begins_with_app(text)) return intercept(params, text);
    }
  }
  return S_OK;
}

}  // namespace win32
}  // namespace platform
