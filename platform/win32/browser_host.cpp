// The browser control host window: makes the control its text names, keeps
// it in place over the window, connects its events, answers the private
// messages and tears everything down with the window.
#include "platform/win32/browser_host.h"

#include <windows.h>
#include <ole2.h>
#include <oledlg.h>
#include <exdisp.h>

#include <cstring>
#include <new>
#include <string>

#include "platform/win32/com_ptr.h"
#include "platform/win32/host_object.h"

namespace platform {
namespace win32 {

namespace {

constexpr int kCreationTextSize = 1000;
constexpr int kClassTextSize = 1000;   // wide characters
constexpr int kFileNameSize = 100;     // wide characters, for the "F" form
constexpr size_t kClipboardTextSize = 4096;
constexpr wchar_t kFileFormStorage[] = L"C:\\STORAGE.STG";

enum class Maker { ole_create, co_create_instance, from_file };

// What the creation text asks for.
struct CreationForm {
  CLSID clsid = CLSID_NULL;
  bool menus_enabled = false;
  bool activate_at_creation = true;
  Maker maker = Maker::ole_create;
  bool file_named = false;  // the "F" form's name fits its buffer
  wchar_t file[kFileNameSize] = {};
};

CLSID class_from_text(const char* text) {
  wchar_t wide[kClassTextSize] = {};
  CLSID clsid = CLSID_NULL;
  if (::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kClassTextSize) == 0) return CLSID_NULL;
  if (FAILED(::CLSIDFromString(wide, &clsid))) return CLSID_NULL;
  return clsid;
}

CLSID class_from_insert_dialog(HWND owner) {
  char file[kFileNameSize] = {};
  OLEUIINSERTOBJECTA block;
  std::memset(&block, 0, sizeof block);
  block.cbStruct = sizeof block;
  block.dwFlags = IOF_SELECTCREATENEW | IOF_DISABLELINK | IOF_SHOWINSERTCONTROL;
  block.hWndOwner = owner;
  block.lpszFile = file;
  block.cchFile = sizeof file;
  // A cancelled dialog leaves the class empty, and creation fails.
  ::OleUIInsertObjectA(&block);
  return block.clsid;
}

CLSID class_from_clipboard(HWND owner) {
  char text[kClipboardTextSize + 4] = {};
  if (!::OpenClipboard(owner)) return CLSID_NULL;
  if (HANDLE data = ::GetClipboardData(CF_TEXT)) {
    if (const char* locked = static_cast<const char*>(::GlobalLock(data))) {
      const size_t held = ::GlobalSize(data);
      std::strncpy(text, locked, held < kClipboardTextSize ? held : kClipboardTextSize);
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return class_from_text(text);
}

bool begins(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

CreationForm read_creation_text(const char* text, HWND parent) {
  CreationForm form;
  if (begins(text, "Custom")) {
    form.clsid = class_from_insert_dialog(parent);
  } else if (begins(text, "Clipbo")) {
    form.clsid = class_from_clipboard(parent);
  } else if (begins(text, "M-F")) {
    // Menus and no activation, but no class to make.
    form.menus_enabled = true;
    form.activate_at_creation = false;
  } else if (begins(text, "M-")) {
    form.clsid = class_from_text(text + 2);
    form.menus_enabled = true;
    form.activate_at_creation = false;
  } else if (begins(text, "M")) {
    form.clsid = class_from_text(text + 1);
    form.menus_enabled = true;
  } else if (begins(text, "!")) {
    form.clsid = class_from_text(text + 1);
    form.maker = Maker::co_create_instance;
  } else if (begins(text, "-")) {
    form.clsid = class_from_text(text + 1);
    form.activate_at_creation = false;
  } else if (begins(text, "F")) {
    // The second character is skipped. A name too long for its buffer is
    // not cut: a cut name would open another file.
    form.maker = Maker::from_file;
    form.menus_enabled = true;
    form.activate_at_creation = false;
    const char* name = text[1] ? text + 2 : "";
    form.file_named = ::MultiByteToWideChar(CP_ACP, 0, name, -1, form.file, kFileNameSize) > 0;
  } else {
    form.clsid = class_from_text(text);
  }
  return form;
}

DrummelOLEControl* host_of(HWND window) {
  return reinterpret_cast<DrummelOLEControl*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

void activate_in_place(DrummelOLEControl& host, HWND window, const RECT& area) {
  host.site_.in_place_wanted_ = true;
  host.object_->DoVerb(OLEIVERB_PRIMARY, nullptr, host.site_.client_site(), 0, window, &area);
  ::InvalidateRect(window, nullptr, TRUE);
}

// Makes the object with the requested interface and keeps its IOleObject:
// whatever was requested, the host drives the object as one.
void make_object(DrummelOLEControl& host, const CreationForm& form) {
  const IID& requested = *host.requested_;
  ComPtr<IUnknown> made;
  switch (form.maker) {
    case Maker::co_create_instance:
      ::CoCreateInstance(form.clsid, nullptr, CLSCTX_LOCAL_SERVER, requested, made.receive_void());
      break;
    case Maker::from_file:
      if (form.file_named)
        ::OleCreateFromFile(CLSID_NULL, form.file, requested, OLERENDER_DRAW, nullptr,
                            host.site_.client_site(), host.storage_.get(), made.receive_void());
      break;
    case Maker::ole_create:
      ::OleCreate(form.clsid, requested, OLERENDER_DRAW, nullptr, host.site_.client_site(),
                  host.storage_.get(), made.receive_void());
      break;
  }
  host.object_ = query<IOleObject>(made.get(), IID_IOleObject);
}

LRESULT on_create(HWND window, const CREATESTRUCTA* creation) {
  char text[kCreationTextSize] = {};
  ::GetWindowTextA(window, text, sizeof text);
  const HWND parent = ::GetParent(window);
  const CreationForm form = read_creation_text(text, parent);

  DrummelOLEControl* host = new (std::nothrow)
      DrummelOLEControl(form.clsid, form.menus_enabled, form.activate_at_creation);
  if (!host) return -1;
  if (creation && creation->lpCreateParams)
    host->requested_ = static_cast<const IID*>(creation->lpCreateParams);
  ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
  host->site_.host_window_ = window;
  host->site_.frame_window_ = parent;

  ::StgCreateDocfile(form.maker == Maker::from_file ? kFileFormStorage : nullptr,
                     STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0,
                     host->storage_.receive());
  make_object(*host, form);
  if (!host->object_) {
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    delete host;
    return -1;
  }

  ::OleSetContainedObject(host->object_.get(), TRUE);
  host->object_->Advise(host->site_.advise_sink(), &host->advise_cookie_);
  host->view_ = query<IViewObject>(host->object_.get(), IID_IViewObject);
  host->data_ = query<IDataObject>(host->object_.get(), IID_IDataObject);
  if (host->view_) host->view_->SetAdvise(DVASPECT_CONTENT, 0, host->site_.advise_sink());

  if (host->activate_at_creation_) {
    RECT area = {};
    ::GetClientRect(parent, &area);
    activate_in_place(*host, window, area);
  }
  return 0;
}

void on_size(DrummelOLEControl& host, HWND window) {
  ComPtr<IOleInPlaceObject> in_place =
      query<IOleInPlaceObject>(host.object_.get(), IID_IOleInPlaceObject);
  if (!in_place) return;
  RECT area = {};
  ::GetClientRect(window, &area);
  in_place->SetObjectRects(&area, &area);
}

// Leaves in-place activation; false when the object has no in-place face.
bool deactivate(DrummelOLEControl& host) {
  host.site_.in_place_wanted_ = false;
  ComPtr<IOleInPlaceObject> in_place =
      query<IOleInPlaceObject>(host.object_.get(), IID_IOleInPlaceObject);
  if (!in_place) return false;
  in_place->UIDeactivate();
  in_place->InPlaceDeactivate();
  return true;
}

LRESULT on_activate(DrummelOLEControl& host, HWND window, WPARAM activate, LPARAM withhold) {
  const bool wanted = host.site_.in_place_wanted_;
  if (activate == 1 && !wanted) {
    host.site_.in_place_withheld_ = withhold != 0;
    RECT area = {};
    ::GetClientRect(window, &area);
    activate_in_place(host, window, area);
  } else if (activate == 0 && wanted) {
    if (!deactivate(host)) return 0;
    ::InvalidateRect(window, nullptr, TRUE);
  } else {
    return 0;
  }
  ::PostMessageA(::GetParent(window), WM_SIZE, SIZE_MAXIMIZED, 0);
  return 1;
}

LRESULT on_connect_events(DrummelOLEControl& host, const IID* event_interface,
                          EventConnection* block) {
  if (!block || !event_interface) return 0;
  // One connection at a time: a new one replaces the old, whose references
  // would otherwise never be given back.
  host.disconnect_events();
  if (!block->sink) block->sink = host.site_.client_site();
  block->container = nullptr;
  block->point = nullptr;
  block->cookie = 0;
  KeptConnection& kept = host.events_;
  kept.container = query<IConnectionPointContainer>(host.object_.get(),
                                                    IID_IConnectionPointContainer);
  if (kept.container) {
    block->container = kept.container.get();
    kept.container->FindConnectionPoint(*event_interface, kept.point.receive());
    if (kept.point) {
      block->point = kept.point.get();
      kept.point->Advise(block->sink, &block->cookie);
    }
  }
  kept.cookie = block->cookie;
  kept.present = true;
  return 0;
}

LRESULT on_advise_format(DrummelOLEControl& host, WPARAM index, LPARAM direction) {
  if (!host.data_) return 0;
  const bool counting = index == static_cast<WPARAM>(-1);
  // The cookie table has room for the first kFormatCookies formats only.
  if (!counting && index >= kFormatCookies) return 0;
  ComPtr<IEnumFORMATETC> formats;
  host.data_->EnumFormatEtc(static_cast<DWORD>(direction), formats.receive());
  if (!formats) return 0;
  FORMATETC format = {};
  WPARAM counter = 0;
  bool reached = false;
  while (formats->Next(1, &format, nullptr) == S_OK) {
    if (counter == index) {
      reached = true;
      break;
    }
    if (format.ptd) ::CoTaskMemFree(format.ptd);
    format.ptd = nullptr;
    ++counter;
  }
  formats.reset();
  if (counting) return static_cast<LRESULT>(counter);
  // An index past the last format names none: nothing is registered.
  if (!reached) return 0;
  host.data_->DAdvise(&format, 0, host.site_.advise_sink(), &host.format_cookies_[index]);
  if (format.ptd) ::CoTaskMemFree(format.ptd);
  return 1;
}

LRESULT CALLBACK host_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CREATE)
    return on_create(window, reinterpret_cast<const CREATESTRUCTA*>(lparam));
  DrummelOLEControl* host = host_of(window);
  switch (message) {
    case WM_SIZE:
      if (!host || !host->object_) return 0;
      ::DefWindowProcA(window, message, wparam, lparam);
      on_size(*host, window);
      return 0;
    case WM_DESTROY:
      if (!host) return 0;
      ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      delete host;
      return 1;
    case HOSTM_QUERYINTERFACE: {
      if (!host) return 0;
      void** out = reinterpret_cast<void**>(lparam);
      if (!wparam || !out) return E_POINTER;
      // While the object is being made there is none to ask.
      if (!host->object_) return E_NOINTERFACE;
      return host->object_->QueryInterface(*reinterpret_cast<const IID*>(wparam), out);
    }
    case HOSTM_ACTIVATE:
      return host && host->object_ ? on_activate(*host, window, wparam, lparam) : 0;
    case HOSTM_GETHOST:
      return reinterpret_cast<LRESULT>(host);
    case HOSTM_CONNECTEVENTS:
      return host ? on_connect_events(*host, reinterpret_cast<const IID*>(wparam),
                                      reinterpret_cast<EventConnection*>(lparam))
                  : 0;
    case HOSTM_DISCONNECTEVENTS:
      if (host) host->disconnect_events();
      return 0;
    case HOSTM_ADVISEFORMAT:
      return host ? on_advise_format(*host, wparam, lparam) : 0;
    default:
      return ::DefWindowProcA(window, message, wparam, lparam);
  }
}

}  // namespace

void DrummelOLEControl::disconnect_events() {
  if (!events_.present) return;
  if (events_.point) events_.point->Unadvise(events_.cookie);
  events_.point.reset();
  events_.container.reset();
  events_.cookie = 0;
  events_.present = false;
}

DrummelOLEControl::~DrummelOLEControl() {
  if (site_.in_place_wanted_) deactivate(*this);
  disconnect_events();
  if (advise_cookie_ && object_) object_->Unadvise(advise_cookie_);
  advise_cookie_ = 0;
  if (data_) {
    for (DWORD& cookie : format_cookies_) {
      if (cookie) data_->DUnadvise(cookie);
      cookie = 0;
    }
  }
  active_.reset();
  data_.reset();
  view_.reset();
  storage_.reset();
  if (object_) {
    // The site dies with this object: the control must hold on to it no
    // longer, whoever else still holds the control.
    object_->SetClientSite(nullptr);
    object_->Close(OLECLOSE_NOSAVE);
  }
  object_.reset();
}

bool register_host_class() {
  WNDCLASSEXA host_class;
  std::memset(&host_class, 0, sizeof host_class);
  host_class.cbSize = sizeof host_class;
  host_class.style = CS_GLOBALCLASS | CS_DBLCLKS;
  host_class.lpfnWndProc = host_procedure;
  host_class.cbWndExtra = 4;
  host_class.hInstance = ::GetModuleHandleA(nullptr);
  host_class.lpszClassName = kHostClass;
  return ::RegisterClassExA(&host_class) != 0;
}

void navigate_browser(HWND host, const std::string& url) {
  if (!host) return;
  // At most 1000 wide characters with the terminator; a longer URL is cut.
  std::wstring wide(url.size() + 1, L'\0');
  const int length = ::MultiByteToWideChar(CP_ACP, 0, url.data(), static_cast<int>(url.size()),
                                           &wide[0], static_cast<int>(wide.size()));
  wide.resize(length > 999 ? 999 : (length > 0 ? length : 0));
  ComPtr<IWebBrowser2> browser;
  ::SendMessageA(host, HOSTM_QUERYINTERFACE, reinterpret_cast<WPARAM>(&IID_IWebBrowser2),
                 reinterpret_cast<LPARAM>(browser.receive_void()));
  if (!browser) return;
  BSTR address = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!address) return;
  VARIANT none;
  ::VariantInit(&none);
  browser->Navigate(address, &none, &none, &none, &none);
  ::SysFreeString(address);
}

}  // namespace win32
}  // namespace platform
