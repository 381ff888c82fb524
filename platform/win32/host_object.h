// The objects behind one browser host window: the host object, kept in the
// window's user-data slot, and the client site that the embedded control
// talks back to. Private to browser_host.cpp and client_site.cpp.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include "platform/win32/browser_host.h"
#include "platform/win32/com_ptr.h"

namespace platform {
namespace win32 {

class DrummelOLEControl;

// One object, five interfaces, one reference count. Release never frees it:
// it lives and dies with its host object.
class MyClientSite : public IOleClientSite,
                     public IDispatch,
                     public IAdviseSink,
                     public IOleInPlaceSite,
                     public IOleInPlaceFrame {
 public:
  explicit MyClientSite(DrummelOLEControl* owner, bool in_place_wanted)
      : in_place_wanted_(in_place_wanted), owner_(owner) {}

  // IUnknown, for every face.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override { return --references_; }
  // IOleClientSite
  STDMETHODIMP SaveObject() override { return S_OK; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override;
  STDMETHODIMP GetContainer(IOleContainer** out) override;
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override;
  STDMETHODIMP RequestNewObjectLayout() override { return S_OK; }
  virtual ~MyClientSite() = default;
  // IAdviseSink
  STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
  STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
  STDMETHODIMP_(void) OnRename(IMoniker*) override {}
  STDMETHODIMP_(void) OnSave() override {}
  STDMETHODIMP_(void) OnClose() override {}
  // IOleWindow, for the in-place site and the frame alike.
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return in_place_wanted_ ? S_OK : S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                RECT* position, RECT* clip,
                                OLEINPLACEFRAMEINFO* info) override;
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
  // IOleInPlaceUIWindow and IOleInPlaceFrame
  STDMETHODIMP GetBorder(RECT* border) override;
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override;
  STDMETHODIMP InsertMenus(HMENU shared, OLEMENUGROUPWIDTHS* widths) override;
  STDMETHODIMP SetMenu(HMENU shared, HOLEMENU descriptor, HWND object_window) override;
  STDMETHODIMP RemoveMenus(HMENU shared) override;
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP EnableModeless(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG*, WORD) override { return E_NOTIMPL; }
  // IDispatch: only Invoke, the browser's event sink.
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                      EXCEPINFO*, UINT*) override;

  IOleClientSite* client_site() { return this; }
  IAdviseSink* advise_sink() { return this; }

  LONG references_ = 0;
  HWND host_window_ = nullptr;
  HWND frame_window_ = nullptr;
  HMENU frame_menu_ = nullptr;  // nothing in the program sets one
  bool in_place_wanted_;
  bool in_place_withheld_ = false;  // refuses the in-place faces (message 1026)

 private:
  bool menus_enabled() const;
  DrummelOLEControl* owner_;
};

// Formats that message 1030 can register for: one cookie per index.
constexpr size_t kFormatCookies = 100;

// The event connection the host keeps until it is undone.
struct KeptConnection {
  bool present = false;
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
};

class DrummelOLEControl {
 public:
  DrummelOLEControl(const CLSID& clsid, bool menus_enabled, bool activate_at_creation)
      : clsid_(clsid),
        site_(this, activate_at_creation),
        menus_enabled_(menus_enabled),
        activate_at_creation_(activate_at_creation) {}
  // Tears down in a fixed order: deactivation, events, advice, then the
  // interfaces, the object last.
  virtual ~DrummelOLEControl();
  DrummelOLEControl(const DrummelOLEControl&) = delete;
  DrummelOLEControl& operator=(const DrummelOLEControl&) = delete;

  void disconnect_events();

  CLSID clsid_;
  MyClientSite site_;
  const IID* requested_ = &IID_IOleObject;
  ComPtr<IOleObject> object_;
  ComPtr<IStorage> storage_;
  ComPtr<IViewObject> view_;
  ComPtr<IDataObject> data_;
  ComPtr<IOleInPlaceActiveObject> active_;
  KeptConnection events_;
  bool menus_enabled_;
  bool activate_at_creation_;
  DWORD advise_cookie_ = 0;
  DWORD format_cookies_[kFormatCookies] = {};
};

}  // namespace win32
}  // namespace platform
