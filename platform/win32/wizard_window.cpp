// The wizard's main window on Win32: the frame "LVN_Main" whose client area
// is covered by the browser host, its five-second timer, the close request
// and the app-command message, and the window thread's message loop.
#include <windows.h>
#include <commctrl.h>
#include <exdisp.h>
#include <ole2.h>

#include <cstring>
#include <new>
#include <string>

#include "core/app_commands.h"
#include "platform/platform.h"
#include "platform/win32/browser_host.h"

namespace platform {

namespace {

constexpr char kMainClass[] = "LVN_Main";
constexpr char kMainTitle[] = "Lorvane 2.5";
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressPeriod = 5000;  // milliseconds

// The window procedure's view of the wizard; set while a window exists.
WizardHandlers handlers;

LRESULT CALLBACK main_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      ::SetTimer(window, kProgressTimer, kProgressPeriod, nullptr);
      return 0;
    case WM_SIZE: {
      // The browser covers the whole client area; the size comes from the
      // window, since the host posts this message with no size in it.
      RECT area = {};
      ::GetClientRect(window, &area);
      if (HWND host = ::GetDlgItem(window, win32::kBrowserHostId)) {
        ::MoveWindow(host, 0, 0, area.right, area.bottom, TRUE);
        ::ShowWindow(host, SW_SHOW);
      }
      return 0;
    }
    case WM_TIMER:
      if (handlers.timer_tick) handlers.timer_tick();
      return 0;
    case WM_CLOSE:
      if (wparam != 0)
        ::DestroyWindow(window);
      else if (handlers.close_request)
        handlers.close_request();
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    case kAppCommandMessage:
      return handlers.app_command ? handlers.app_command(static_cast<unsigned>(wparam)) : 1;
    default:
      return ::DefWindowProcA(window, message, wparam, lparam);
  }
}

bool register_main_class() {
  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  // Null until the resources carry the icon; the window then has none.
  const HICON icon = ::LoadIconA(instance, "ICON_1");
  WNDCLASSEXA main_class;
  std::memset(&main_class, 0, sizeof main_class);
  main_class.cbSize = sizeof main_class;
  main_class.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_PARENTDC;
  main_class.lpfnWndProc = main_procedure;
  main_class.hInstance = instance;
  main_class.hIcon = icon;
  main_class.hIconSm = icon;
  main_class.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  main_class.lpszClassName = kMainClass;
  // A second window in the same process finds the class already there.
  return ::RegisterClassExA(&main_class) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

class Win32WizardWindow : public WizardWindow {
 public:
  explicit Win32WizardWindow(HWND window) : window_(window) {}
  ~Win32WizardWindow() override {
    if (::IsWindow(window_)) ::DestroyWindow(window_);
    win32::set_navigation_handler(nullptr);
    handlers = WizardHandlers();
    ::OleUninitialize();
  }

  // Creates the browser host over the client area and connects its events.
  void embed_browser() {
    RECT area = {};
    ::GetClientRect(window_, &area);
    HWND host = ::CreateWindowExA(0, win32::kHostClass, win32::kWebBrowserText,
                                  WS_CHILD | WS_VISIBLE, 0, 0, area.right, area.bottom, window_,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(win32::kBrowserHostId)),
                                  ::GetModuleHandleA(nullptr), nullptr);
    // Without a browser the pages simply do not appear.
    if (!host) return;
    std::memset(&events_, 0, sizeof events_);
    ::SendMessageA(host, win32::HOSTM_CONNECTEVENTS,
                   reinterpret_cast<WPARAM>(&DIID_DWebBrowserEvents2),
                   reinterpret_cast<LPARAM>(&events_));
  }

  void* handle() override { return window_; }
  void navigate(const std::string& url) override {
    win32::navigate_browser(::GetDlgItem(window_, win32::kBrowserHostId), url);
  }
  void set_title(const std::string& title) override { ::SetWindowTextA(window_, title.c_str()); }
  void start_timer() override { ::SetTimer(window_, kProgressTimer, kProgressPeriod, nullptr); }
  void stop_timer() override { ::KillTimer(window_, kProgressTimer); }
  void close(bool without_asking) override {
    ::SendMessageA(window_, WM_CLOSE, without_asking ? 1 : 0, 0);
  }
  void destroy() override { ::DestroyWindow(window_); }
  int send_app_command(unsigned command) override {
    return static_cast<int>(::SendMessageA(window_, kAppCommandMessage, command, 0));
  }

 private:
  HWND window_;
  // The block the host's event connection was made with; it lives as long
  // as the connection.
  win32::EventConnection events_ = {};
};

}  // namespace

WizardWindow* create_wizard_window(const WizardHandlers& wizard) {
  ::InitCommonControls();
  ::OleInitialize(nullptr);
  win32::register_host_class();
  handlers = wizard;
  win32::set_navigation_handler(wizard.navigation);
  HWND window = nullptr;
  if (register_main_class())
    window = ::CreateWindowExA(WS_EX_ACCEPTFILES, kMainClass, kMainTitle,
                               WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_MAXIMIZE,
                               CW_USEDEFAULT, CW_USEDEFAULT, 800, 600, nullptr, nullptr,
                               ::GetModuleHandleA(nullptr), nullptr);
  if (!window) {
    win32::set_navigation_handler(nullptr);
    handlers = WizardHandlers();
    ::OleUninitialize();
    return nullptr;
  }
  Win32WizardWindow* wizard_window = new (std::nothrow) Win32WizardWindow(window);
  if (!wizard_window) {
    ::DestroyWindow(window);
    ::OleUninitialize();
    return nullptr;
  }
  ::ShowWindow(window, SW_SHOWDEFAULT);
  wizard_window->embed_browser();
  return wizard_window;
}

void run_message_loop() {
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}

}  // namespace platform
