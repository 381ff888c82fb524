// The browser control host with the real web browser control: the creation-text forms, the
// site's faces, the private messages and the event sink, by direct events and navigations.
#include <windows.h>
#include <ole2.h>
#include <exdisp.h>
#include <exdispid.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/browser_host.h"
#include "platform/win32/com_ptr.h"

using namespace platform::win32;

namespace {

std::vector<std::string> handed;  // what the event sink handed over
int take_navigation(const char* url) {
  handed.push_back(url);
  return 0;
}

class BrowserHost : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::OleInitialize(nullptr);
    register_host_class();
  }
  void SetUp() override {
    handed.clear();
    set_navigation_handler(take_navigation);
    frame_ = ::CreateWindowExA(0, "STATIC", "frame", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                               nullptr, nullptr, nullptr);
    ASSERT_TRUE(frame_);
  }
  void TearDown() override {
    ::DestroyWindow(frame_);  // takes its hosts with it
    set_navigation_handler(nullptr);
  }
  HWND host(const std::string& text, const IID* requested = nullptr) {
    return ::CreateWindowExA(0, kHostClass, text.c_str(), WS_CHILD | WS_VISIBLE, 0, 0, 400, 300,
                             frame_, nullptr, nullptr, const_cast<IID*>(requested));
  }
  // The site, as the control knows it.
  static ComPtr<IOleClientSite> site_of(HWND host) {
    ComPtr<IOleObject> object;
    ComPtr<IOleClientSite> site;
    ::SendMessageA(host, HOSTM_QUERYINTERFACE, reinterpret_cast<WPARAM>(&IID_IOleObject),
                   reinterpret_cast<LPARAM>(object.receive_void()));
    if (object) object->GetClientSite(site.receive());
    return site;
  }
  static LRESULT send(HWND host, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return ::SendMessageA(host, message, wparam, lparam);
  }
  HWND frame_ = nullptr;
};

void put_clipboard(const char* text) {
  ASSERT_TRUE(::OpenClipboard(nullptr));
  ::EmptyClipboard();
  if (text) {
    HGLOBAL data = ::GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
    memcpy(::GlobalLock(data), text, strlen(text) + 1);
    ::GlobalUnlock(data);
    ::SetClipboardData(CF_TEXT, data);
  }
  ::CloseClipboard();
}

TEST_F(BrowserHost, CreationTextForms) {
  const std::string browser = kWebBrowserText;
  struct Case { std::string text; const char* clipboard; bool made, in_place, menus; };
  const Case cases[] = {
      {browser, nullptr, true, true, false},
      {"-" + browser, nullptr, true, false, false},
      {"M" + browser, nullptr, true, true, true},
      {"M-" + browser, nullptr, true, false, true},
      {"Clipboard", kWebBrowserText, true, true, false},
      {"Clipboard", nullptr, false, false, false},
      {"!" + browser, nullptr, false, false, false},  // no local server makes a browser
      {"M-F" + browser, nullptr, false, false, false},
      {"F C:\\no such file.doc", nullptr, false, false, false},
      {"F " + std::string(120, 'x'), nullptr, false, false, false},  // longer than the name's buffer
      {"{8856F961-340A-11D0-A96B}", nullptr, false, false, false},
      {browser + std::string(1500, 'x'), nullptr, false, false, false},  // cut at 999, never overrun
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 60));
    put_clipboard(c.clipboard);
    HWND made = host(c.text);
    ASSERT_EQ(made != nullptr, c.made);
    if (!made) continue;
    ComPtr<IOleInPlaceFrame> frame = query<IOleInPlaceFrame>(site_of(made).get(), IID_IOleInPlaceFrame);
    ASSERT_TRUE(frame);
    OLEMENUGROUPWIDTHS widths = {{1, 1, 1, 1, 1, 1}};
    EXPECT_EQ(frame->InsertMenus(nullptr, &widths), c.menus ? S_OK : E_NOTIMPL);
    EXPECT_EQ(widths.width[0] + widths.width[2] + widths.width[4], c.menus ? 0 : 3);
    EXPECT_EQ(frame->RemoveMenus(nullptr), c.menus ? S_OK : E_NOTIMPL);
    // Entering needs it left; leaving needs it entered.
    EXPECT_EQ(send(made, HOSTM_ACTIVATE, 1), c.in_place ? 0 : 1);
    EXPECT_EQ(send(made, HOSTM_ACTIVATE, 0), 1);
    EXPECT_EQ(send(made, HOSTM_ACTIVATE, 0), 0);
    ::DestroyWindow(made);
  }
}

TEST_F(BrowserHost, SiteFacesAndRefusals) {
  // Whatever the creation asks for, the host drives an IOleObject.
  HWND made = host(kWebBrowserText, &IID_IWebBrowser2);
  ASSERT_TRUE(made);
  EXPECT_NE(send(made, HOSTM_GETHOST), 0);
  ComPtr<IOleClientSite> site = site_of(made);
  ASSERT_TRUE(site);
  struct Face { const IID* iid; bool given, given_when_withheld; };
  const Face faces[] = {
      {&IID_IOleClientSite, true, true},      {&IID_IUnknown, true, true},
      {&IID_IAdviseSink, true, true},         {&IID_IDispatch, true, true},
      {&IID_IOleInPlaceSite, true, false},    {&IID_IOleInPlaceFrame, true, false},
      {&IID_IOleInPlaceUIWindow, true, false}, {&IID_IOleWindow, false, false},
      {&DIID_DWebBrowserEvents2, false, false}, {&IID_IOleObject, false, false},
  };
  for (bool withheld : {false, true}) {
    for (const Face& face : faces) {
      void* out = reinterpret_cast<void*>(1);
      const HRESULT result = site->QueryInterface(*face.iid, &out);
      const bool given = withheld ? face.given_when_withheld : face.given;
      EXPECT_EQ(result, given ? S_OK : E_NOINTERFACE);
      EXPECT_EQ(out != nullptr, given);
      if (out) static_cast<IUnknown*>(out)->Release();
    }
    // Both in-place faces name the host window, not the frame.
    ComPtr<IOleInPlaceSite> in_place = query<IOleInPlaceSite>(site.get(), IID_IOleInPlaceSite);
    ComPtr<IOleInPlaceFrame> frame = query<IOleInPlaceFrame>(site.get(), IID_IOleInPlaceFrame);
    if (!withheld) {
      HWND window = nullptr;
      ASSERT_TRUE(in_place && frame);
      EXPECT_TRUE(SUCCEEDED(frame->GetWindow(&window)) && window == made);
      EXPECT_TRUE(SUCCEEDED(in_place->GetWindow(&window)) && window == made);
      // One count for every face.
      const ULONG count = site->AddRef();
      EXPECT_EQ(frame->Release(), count - 1);
    }
    EXPECT_EQ(send(made, HOSTM_ACTIVATE, 0), 1);
    EXPECT_EQ(send(made, HOSTM_ACTIVATE, 1, 1), 1);  // withholds from now on
  }
  // 1025 gives the object's own answer (navigate_browser relies on its yes).
  ComPtr<IClassFactory> refused;
  EXPECT_EQ(send(made, HOSTM_QUERYINTERFACE, reinterpret_cast<WPARAM>(&IID_IClassFactory),
                 reinterpret_cast<LPARAM>(refused.receive_void())), E_NOINTERFACE);
}

// BeforeNavigate2's seven arguments, stored last parameter first, with the
// URL as a reference to a variant holding a string.
struct NavigationEvent {
  explicit NavigationEvent(const std::string& url) : text(url.begin(), url.end()) {
    address.vt = VT_BSTR;
    address.bstrVal = ::SysAllocString(text.c_str());
    for (VARIANT& argument : arguments) ::VariantInit(&argument);
    arguments[0].vt = VT_BYREF | VT_BOOL;
    arguments[0].pboolVal = &cancel;
    arguments[5].vt = VT_BYREF | VT_VARIANT;
    arguments[5].pvarVal = &address;
  }
  ~NavigationEvent() { ::VariantClear(&address); }
  std::wstring text;
  VARIANT address, arguments[7];
  VARIANT_BOOL cancel = VARIANT_FALSE;
};

// The whole roads hand over "app:" links and forms; here the sink's edges, and the
// connection made by 1028 that carries real navigations until 1029 undoes it.
TEST_F(BrowserHost, EventSinkAndItsConnection) {
  HWND made = host(kWebBrowserText);
  ASSERT_TRUE(made);
  ComPtr<IDispatch> sink = query<IDispatch>(site_of(made).get(), IID_IDispatch);
  ASSERT_TRUE(sink);
  const std::string long_form = "file:///C:/lvn/cgi.htm?caller=1&rg1=rb1" + std::string(1200, 'y');
  const std::string cut_form = long_form.substr(0, 999);  // the sink's buffer
  struct Case { DISPID id; UINT count; std::string url; HRESULT result; const char* handed; };
  const Case cases[] = {
      {DISPID_BEFORENAVIGATE2, 7, long_form, S_OK, cut_form.c_str()},
      {DISPID_BEFORENAVIGATE2, 7, "App:15", S_OK, nullptr},
      {DISPID_BEFORENAVIGATE2, 6, "app:15", E_NOTIMPL, nullptr},
      {DISPID_DOCUMENTCOMPLETE, 7, "app:15", E_NOTIMPL, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url.substr(0, 60));
    handed.clear();
    NavigationEvent event(c.url);
    DISPPARAMS params = {event.arguments + 7 - c.count, nullptr, c.count, 0};
    EXPECT_EQ(sink->Invoke(c.id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              c.result);
    EXPECT_EQ(event.cancel == VARIANT_TRUE, c.handed != nullptr);
    EXPECT_EQ(handed, c.handed ? std::vector<std::string>{c.handed} : std::vector<std::string>{});
  }
  EventConnection block = {};
  EXPECT_EQ(send(made, HOSTM_CONNECTEVENTS, reinterpret_cast<WPARAM>(&DIID_DWebBrowserEvents2),
                 reinterpret_cast<LPARAM>(&block)), 0);
  EXPECT_TRUE(block.sink && block.container && block.point && block.cookie);
  navigate_browser(made, "app:15");
  EXPECT_EQ(send(made, HOSTM_DISCONNECTEVENTS), 0);
  navigate_browser(made, "app:12");
  EXPECT_EQ(handed, std::vector<std::string>{"app:15"});
}

// An object with three data formats that logs what its host asks of it.
struct LoggingObject : IOleObject, IDataObject, IClassFactory {
  std::vector<std::string> log;
  LONG references = 0;
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleObject))
      *out = static_cast<IOleObject*>(this);
    if (IsEqualIID(iid, IID_IDataObject)) *out = static_cast<IDataObject*>(this);
    if (IsEqualIID(iid, IID_IClassFactory)) *out = static_cast<IClassFactory*>(this);
    if (*out) AddRef();
    return *out ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override {
    if (--references == 0) log.push_back("gone");
    return references;
  }
  STDMETHODIMP CreateInstance(IUnknown*, REFIID iid, void** out) override {
    return QueryInterface(iid, out);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
  STDMETHODIMP SetClientSite(IOleClientSite* site) override {
    if (!site) log.push_back("SetClientSite(null)");
    return S_OK;
  }
  STDMETHODIMP Close(DWORD) override { return log.push_back("Close"), S_OK; }
  STDMETHODIMP Advise(IAdviseSink*, DWORD* cookie) override { return *cookie = 7, S_OK; }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    return log.push_back("Unadvise " + std::to_string(cookie)), S_OK;
  }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC** out) override {
    const FORMATETC formats[3] = {{CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
                                  {CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI},
                                  {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}};
    return SHCreateStdEnumFmtEtc(3, formats, out);
  }
  STDMETHODIMP DAdvise(FORMATETC* format, DWORD, IAdviseSink*, DWORD* cookie) override {
    log.push_back("DAdvise " + std::to_string(format->cfFormat));
    return *cookie = 40 + format->cfFormat, S_OK;
  }
  STDMETHODIMP DUnadvise(DWORD cookie) override {
    return log.push_back("DUnadvise " + std::to_string(cookie)), S_OK;
  }
  STDMETHODIMP DoVerb(LONG, MSG*, IOleClientSite*, LONG, HWND, LPCRECT) override { return S_OK; }
  // What the host never asks for.
  STDMETHODIMP GetMiscStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP GetClientSite(IOleClientSite**) override { return E_NOTIMPL; }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  STDMETHODIMP Update() override { return E_NOTIMPL; }
  STDMETHODIMP IsUpToDate() override { return E_NOTIMPL; }
  STDMETHODIMP GetUserClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
  STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }
  STDMETHODIMP GetData(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
};

// The "!" form asks a local server, which this process registers itself.
TEST_F(BrowserHost, FormatAdviceAndTeardownOrder) {
  const CLSID logging = {0x6c0e2a61, 0x1d2b, 0x4f7e, {0x9a, 0x31, 0x52, 0x8d, 0x10, 0x44, 0x7b, 0x02}};
  LoggingObject object;
  DWORD registration = 0;
  ASSERT_EQ(::CoRegisterClassObject(logging, static_cast<IClassFactory*>(&object),
                                    CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &registration), S_OK);
  wchar_t text[64] = {};
  ::StringFromGUID2(logging, text, 64);
  HWND made = host("!" + std::string(text, text + wcslen(text)));
  ::CoRevokeClassObject(registration);
  ASSERT_TRUE(made);
  EXPECT_EQ(send(made, HOSTM_ADVISEFORMAT, static_cast<WPARAM>(-1), DATADIR_GET), 3);
  EXPECT_EQ(send(made, HOSTM_ADVISEFORMAT, 1, DATADIR_GET), 1);
  EXPECT_EQ(send(made, HOSTM_ADVISEFORMAT, 3, DATADIR_GET), 0);    // past the last format
  EXPECT_EQ(send(made, HOSTM_ADVISEFORMAT, 100, DATADIR_GET), 0);  // past the cookie table
  EXPECT_EQ(send(made, HOSTM_DISCONNECTEVENTS), 0);
  ::DestroyWindow(made);
  const std::vector<std::string> expected = {"DAdvise 2",  "Unadvise 7", "DUnadvise 42",
                                             "SetClientSite(null)", "Close", "gone"};
  EXPECT_EQ(object.log, expected);
}

}  // namespace
