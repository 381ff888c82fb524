#!/usr/bin/env bash
# Takes the Linux wizard screenshots in docs/screenshots/linux/ (one PNG per
# page), each a capture of the real Lorvane window: GTK with its WebKitGTK
# view, on a virtual display.
#
# A small program linked with the Linux build opens the wizard's window with
# the wizard's own handlers, writes out its pages and shows them one by one
# the way the wizard does. Once the view has finished loading a page (and has
# had a moment to paint it), the window's contents are read back from the
# display and saved; the title bar is not part of it. The "Ready!" (5) and
# "Results" (8) pages show real statistics: the program makes a project over
# a made-up bookmark file and shows 5, then runs it the way 5's "Run !" does,
# against a web server on loopback inside a network namespace of its own (so
# no link leaves the machine), and captures the results page the wizard shows
# when the last worker ends. The running page (7) is shown with its bar at 42%. help and
# eula, which the program opens in the desktop's browser, are shown here in
# the wizard's view. Each window is 1000 pixels wide, 760 high (920 for the
# tall page 3), as the Windows-style set in docs/screenshots/. The PNGs are
# then cut to at most 256 colours and, when optipng is installed, packed
# further.
#
# Made once by hand, not in CI. Needs: Xvfb and xvfb-run, python3, g++ and
# what the build needs (scripts/install-deps.sh), unshare and ip, and root or
# unprivileged user namespaces. Optional: optipng.
# Usage: scripts/screenshots-linux.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/docs/screenshots/linux
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/pages"

command -v xvfb-run >/dev/null || { echo "xvfb-run is needed: apt-get install xvfb xauth" >&2; exit 1; }
scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target lvn_core lvn_gtk >/dev/null

cat >"$work/shots.cpp" <<'EOF'
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"
#include "gui/form_handler.h"
#include "gui/main_window.h"
#include "gui/page_store.h"
#include "gui/wizard_window.h"
#include "platform/platform.h"

namespace {

// No dialog may wait for a user who is not there: each one ends the shots.
struct NoDialogs : platform::DialogScript {
  [[noreturn]] static void stop(const std::string& text) {
    std::fprintf(stderr, "the wizard asked: %s\n", text.c_str());
    std::exit(1);
  }
  void message(const std::string& text, const std::string&, platform::MessageIcon) override {
    stop(text);
  }
  bool ask_yes_no(const std::string& text, const std::string&, platform::MessageIcon,
                  bool) override {
    stop(text);
  }
  bool choose_file(const platform::FileChoice&, std::string&) override { stop("a file"); }
  bool choose_folder(const std::string& title, std::string&) override { stop(title); }
  void item_list(const platform::ItemList&) override { stop("an item list"); }
};

int loads = 0;           // pages the view has finished loading
std::string loaded_uri;  // the last of them

void load_changed(WebKitWebView* view, WebKitLoadEvent event, gpointer) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  ++loads;
  const char* uri = webkit_web_view_get_uri(view);
  loaded_uri = uri ? uri : "";
}

// Runs the main loop until `done` holds or `milliseconds` have passed.
template <typename Done>
bool pump(Done done, int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(5000);
  }
  return true;
}

void settle() { pump([] { return false; }, 800); }  // the view paints after loading

// Waits for the view to finish loading page `name` after `before` loads.
bool shown(const std::string& name, int before) {
  const std::string tail = "/" + name;
  return pump([&] {
    return loads > before && loaded_uri.size() >= tail.size() &&
           loaded_uri.compare(loaded_uri.size() - tail.size(), tail.size(), tail) == 0;
  }, 60000);
}

bool resize(GtkWidget* window, int width, int height) {
  gtk_window_move(GTK_WINDOW(window), 0, 0);
  gtk_window_resize(GTK_WINDOW(window), width, height);
  return pump([&] {
    return gtk_widget_get_allocated_width(window) == width &&
           gtk_widget_get_allocated_height(window) == height;
  }, 5000);
}

bool capture(GtkWidget* window, const std::string& path) {
  GdkWindow* area = gtk_widget_get_window(window);
  GdkPixbuf* image = gdk_pixbuf_get_from_window(area, 0, 0, gdk_window_get_width(area),
                                                gdk_window_get_height(area));
  if (!image) return false;
  GError* error = nullptr;
  const bool saved = gdk_pixbuf_save(image, path.c_str(), "png", &error, nullptr);
  if (error) std::fprintf(stderr, "%s: %s\n", path.c_str(), error->message);
  g_clear_error(&error);
  g_object_unref(image);
  return saved;
}

}  // namespace

// bookmark-file project-file pages-folder output-folder page:height...
// 5 makes the project before it is shown; for 8 the wizard runs the project
// as page 5's "Run !" asks it to, and shows 8 itself when the last worker
// ends.
int main(int argc, char** argv) {
  if (argc < 6) return 2;
  NoDialogs no_dialogs;
  platform::set_dialog_script(&no_dialogs);
  if (!platform::set_current_directory(argv[3])) return 1;
  extract_pages();
  copy_field(source_path, sizeof source_path, argv[1]);
  copy_field(project_path, sizeof project_path, argv[2]);
  on_http_error = fix;
  on_no_connection = quarantine;
  threads = 4;
  dead_links_folder = 1;
  dead_links_text = 0;

  wizard_window = platform::create_wizard_window(
      {dispatch_navigation, handle_app_command, close_request, progress_tick});
  if (!wizard_window) {
    std::fputs("no wizard window: is there a display?\n", stderr);
    return 1;
  }
  main_window = wizard_window->handle();
  GtkWidget* window = GTK_WIDGET(main_window);
  GtkWidget* view = gtk_bin_get_child(GTK_BIN(window));
  g_signal_connect(view, "load-changed", G_CALLBACK(load_changed), nullptr);
  gtk_window_unmaximize(GTK_WINDOW(window));

  int failed = 0;
  for (int i = 5; i < argc; ++i) {
    const std::string shot = argv[i];
    const std::string page = shot.substr(0, shot.find(':'));
    const std::string name = page + ".htm";
    if (!resize(window, 1000, std::atoi(shot.c_str() + page.size() + 1))) {
      std::fprintf(stderr, "%s: the window keeps another size\n", page.c_str());
      ++failed;
      continue;
    }
    const int before = loads;
    if (page == "8") {
      dispatch_navigation("app:5");  // what page 5's "Run !" hands to the wizard
    } else {
      if (page == "5" && !create_project(true)) return 1;
      show_page(name.c_str(), page == "5");
    }
    if (!shown(name, before)) {
      std::fprintf(stderr, "%s never finished loading\n", name.c_str());
      ++failed;
      continue;
    }
    if (page == "7") wizard_window->navigate("javascript:setCount(42)");
    settle();
    if (!capture(window, std::string(argv[4]) + "/" + page + ".png")) ++failed;
  }
  remove_pages();
  delete wizard_window;
  wizard_window = nullptr;
  main_window = nullptr;
  return failed == 0 ? 0 : 1;
}
EOF
# The window comes from the GTK module, loaded from beside the program, which
# calls back into it.
g++ -std=c++17 -O1 -I"$root" "$work/shots.cpp" build/linux/liblvn_core.a -lcurl -lsqlite3 -ldl \
  -pthread -rdynamic $(pkg-config --cflags --libs gtk+-3.0 webkit2gtk-4.1) -o "$work/shots"
cp build/linux/liblvn_gtk.so "$work/"

# page:height, in the wizard's order (8 comes from the run that 7 stands for).
# cgi.htm is left out: it is the blank target of the forms.
shots=(1:760 2:760 3:920 4:760 5:760 7:760 8:760 9:760 i1:760 help:760 eula:760)
scripts/demo_bookmarks.py "$work"
NO_AT_BRIDGE=1 scripts/with_demo_site.sh "$work/site" \
  xvfb-run -a -s "-screen 0 1000x920x24" \
  "$work/shots" "$work/bookmarks.html" "$work/demo.lvn" "$work/pages" "$out" "${shots[@]}"

scripts/png_palette.py "$out"/*.png
if command -v optipng >/dev/null; then optipng -quiet -o7 -strip all "$out"/*.png; fi
ls -l "$out"
