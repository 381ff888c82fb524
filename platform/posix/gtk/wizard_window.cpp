// The wizard's main window on Linux: a GTK window titled "Lorvane 2.5" whose
// whole area is a WebKitGTK view. Navigations to "app:" links and to
// "cgi.htm" are refused by the view's navigation policy and handed to the
// wizard; app commands, end notices and timer 1 run on the GLib main loop.
#include <webkit2/webkit2.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>

#include "platform/platform.h"
#include "platform/posix/gtk/gtk_front_end.h"
#include "platform/posix/posix_support.h"

namespace platform {

namespace {

constexpr char kMainTitle[] = "Lorvane 2.5";
constexpr guint kProgressPeriod = 5000;  // milliseconds

// The window's view of the wizard; set while a window exists.
WizardHandlers handlers;
GtkWidget* live_window = nullptr;
bool quit = false;  // the main window was destroyed: the message loop ends

bool handed_to_wizard(const char* uri) {
  return std::strncmp(uri, "app:", 4) == 0 || std::strstr(uri, "cgi.htm") != nullptr;
}

// Each window's events carry its number, so that one queued for a window
// already gone never reaches the next, as a message to a destroyed window
// never reaches another.
std::atomic<unsigned> window_number{0};

struct Event {
  unsigned window;
  unsigned command;
  gchar* uri;
};

gboolean run_event(gpointer data) {
  Event* event = static_cast<Event*>(data);
  if (live_window && event->window == window_number) {
    if (event->uri && handlers.navigation) handlers.navigation(event->uri);
    else if (!event->uri && handlers.app_command) handlers.app_command(event->command);
  }
  g_free(event->uri);
  g_free(event);
  return G_SOURCE_REMOVE;
}

// Any thread may post; the event runs on the main loop.
void post_event(unsigned command, const char* uri) {
  Event* event = g_new0(Event, 1);
  event->window = window_number;
  event->command = command;
  event->uri = uri ? g_strdup(uri) : nullptr;
  g_idle_add(run_event, event);
}

gboolean decide_policy(WebKitWebView*, WebKitPolicyDecision* decision,
                       WebKitPolicyDecisionType type, gpointer) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
  WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  if (!uri || !handed_to_wizard(uri)) return FALSE;
  webkit_policy_decision_ignore(decision);
  // The wizard runs after the decision has returned: it may show a dialog or
  // navigate again, which the view does not expect from inside it.
  post_event(0, uri);
  return TRUE;
}

void post_to_main_loop(void*, unsigned command) { post_event(command, nullptr); }

gboolean tick(gpointer) {
  if (handlers.timer_tick) handlers.timer_tick();
  return G_SOURCE_CONTINUE;
}

gboolean close_requested(GtkWidget*, GdkEvent*, gpointer) {
  if (handlers.close_request) handlers.close_request();
  return TRUE;  // the wizard decides whether the window goes
}

void destroyed(GtkWidget* window, gpointer) {
  if (window == live_window) {
    live_window = nullptr;
    quit = true;
  }
}

// A page's file path (maybe with a form's query) as a file URI.
std::string page_uri(const std::string& url) {
  const size_t query = url.find('?');
  const std::string path = posix::native_path(url.substr(0, query));
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  std::string result = uri ? uri : "";
  g_free(uri);
  if (query != std::string::npos) result += url.substr(query);
  return result;
}

class GtkWizardWindow : public WizardWindow {
 public:
  GtkWizardWindow(GtkWidget* window, WebKitWebView* view) : window_(window), view_(view) {
    start_timer();
  }
  ~GtkWizardWindow() override {
    stop_timer();
    if (live_window == window_) gtk_widget_destroy(window_);
    g_object_unref(window_);
    set_app_command_sink(nullptr);
    handlers = WizardHandlers();
  }

  void* handle() override { return window_; }
  void navigate(const std::string& url) override {
    if (!live_window) return;
    if (url.rfind("javascript:", 0) == 0) {
      const std::string script = url.substr(std::strlen("javascript:"));
      webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, nullptr, nullptr, nullptr,
                                          nullptr, nullptr);
    } else {
      // A page's path, or already a URI such as "app:5".
      webkit_web_view_load_uri(view_, url[0] == '/' ? page_uri(url).c_str() : url.c_str());
    }
  }
  void set_title(const std::string& title) override {
    gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
  }
  void start_timer() override {
    if (!timer_) timer_ = g_timeout_add(kProgressPeriod, tick, nullptr);
  }
  void stop_timer() override {
    if (timer_) g_source_remove(timer_);
    timer_ = 0;
  }
  void close(bool without_asking) override {
    if (without_asking) destroy();
    else if (handlers.close_request) handlers.close_request();
  }
  void destroy() override {
    stop_timer();
    if (live_window == window_) gtk_widget_destroy(window_);
  }
  int send_app_command(unsigned command) override {
    return live_window && handlers.app_command ? handlers.app_command(command) : 1;
  }

 private:
  GtkWidget* window_;
  WebKitWebView* view_;
  guint timer_ = 0;
};

}  // namespace

WizardWindow* posix::gtk_create_wizard_window(const WizardHandlers& wizard) {
  if (live_window) return nullptr;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), kMainTitle);
  gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);

  WebKitWebView* view = WEBKIT_WEB_VIEW(webkit_web_view_new());
  // Plain pages need no graphics hardware, which a virtual display lacks.
  webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(view),
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  g_signal_connect(view, "decide-policy", G_CALLBACK(decide_policy), nullptr);
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
  g_signal_connect(window, "delete-event", G_CALLBACK(close_requested), nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(destroyed), nullptr);

  GtkWizardWindow* wizard_window = new (std::nothrow) GtkWizardWindow(window, view);
  if (!wizard_window) {
    gtk_widget_destroy(window);
    return nullptr;
  }
  g_object_ref(window);  // the handle stays valid until the object goes
  handlers = wizard;
  live_window = window;
  ++window_number;
  quit = false;
  set_app_command_sink(post_to_main_loop);
  gtk_window_maximize(GTK_WINDOW(window));
  gtk_widget_show_all(window);
  return wizard_window;
}

void posix::gtk_run_message_loop() {
  while (!quit) g_main_context_iteration(nullptr, TRUE);
}

}  // namespace platform
