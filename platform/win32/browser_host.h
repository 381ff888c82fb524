// The browser control host: a child window of class "DrummelOLEControl"
// whose window text names the control it embeds, and the private messages
// that drive it. Only the Win32 backend and its tests include this.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <string>

namespace platform {
namespace win32 {

constexpr char kHostClass[] = "DrummelOLEControl";
// The creation text that embeds the web browser.
constexpr char kWebBrowserText[] = "{8856F961-340A-11D0-A96B-00C04FD705A2}";
constexpr int kBrowserHostId = 878;

// Messages of the host window; each is sent on the window's thread and gives
// 0 at once when the window holds no host object.
enum HostMessage : UINT {
  HOSTM_QUERYINTERFACE = 1025,    // wParam IID*, lParam void** -> HRESULT
  HOSTM_ACTIVATE = 1026,          // wParam 1/0, lParam withhold -> 1 when done
  HOSTM_GETHOST = 1027,           // -> the host object
  HOSTM_CONNECTEVENTS = 1028,     // wParam IID*, lParam EventConnection*
  HOSTM_DISCONNECTEVENTS = 1029,  // -> 0
  HOSTM_ADVISEFORMAT = 1030,      // wParam index or -1, lParam direction
};

// The block of HOSTM_CONNECTEVENTS: the sender fills `sink` (null = the
// host's own site) and gets the rest back.
struct EventConnection {
  IUnknown* sink;
  IConnectionPointContainer* container;
  IConnectionPoint* point;
  DWORD cookie;
};

// Registers the host's window class; true when it is registered now.
bool register_host_class();

// Where the host's event sink hands the navigations it cancels ("app:" links
// and forms sent to "cgi.htm"); its result becomes the event's result. Set
// on the window thread; null drops them (they are still cancelled).
using NavigationHandler = int (*)(const char* url);
void set_navigation_handler(NavigationHandler handler);

// Has the host's browser go to `url` (a page file's full path or a
// "javascript:" URL). Does nothing without a host or a browser in it.
void navigate_browser(HWND host, const std::string& url);

}  // namespace win32
}  // namespace platform
