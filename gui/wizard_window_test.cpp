// The wizard's handlers behind the real window and browser, driven by the URLs its pages
// produce with the dialogs scripted; the real message box and item list; item-list records.
#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
#else
#include <gtk/gtk.h>

#include <csignal>

#include "tests/support/process_runner.h"
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/globals.h"
#include "gui/form_handler.h"
#include "gui/item_list.h"
#include "gui/main_window.h"
#include "gui/page_store.h"
#include "gui/wizard_window.h"
#include "platform/platform.h"
#include "tests/support/env.h"
#include "tests/support/http_fixture.h"
#include "tests/support/places_builder.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

// The window thread's events: the Win32 message queue, or the GLib main loop.
#ifdef _WIN32
bool pump_one_event() {
  MSG message;
  if (!::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  ::DispatchMessageA(&message);
  return true;
}

bool window_open() { return main_window && ::IsWindow(static_cast<HWND>(main_window)); }
#else
bool pump_one_event() { return g_main_context_iteration(nullptr, FALSE); }

bool window_open() {
  return main_window && GTK_IS_WIDGET(main_window) &&
         gtk_widget_get_visible(GTK_WIDGET(main_window));
}
#endif

// Runs events one at a time, asking `done` after each, so nothing beyond it runs.
template <typename Done>
void pump_until(Done done, int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done() && std::chrono::steady_clock::now() < end)
    if (!pump_one_event()) platform::sleep_ms(10);
}

const char kThanks[] = "Thanks for using Lorvane 2.5!";
const char kExitQuestion[] = "Are you sure you want to exit Lorvane ?\r\n"
                             "If you are running a project, it will be saved for next time!";

// The user's answers, queued by each step: picks (below the test's folder, or entries to
// recover from an item list) and Yes/No.
struct Script : platform::DialogScript {
  const TempDir* folder = nullptr;
  std::deque<std::string> picks;
  std::deque<bool> answers;
  std::vector<std::string> said;    // first paragraphs of messages and questions, in order
  std::vector<size_t> lists;        // the rows of each item list shown
  std::vector<bool> recovered;
  void message(const std::string& text, const std::string&, platform::MessageIcon) override {
    said.push_back(text.substr(0, text.find("\r\n\r\n")));
  }
  bool ask_yes_no(const std::string& text, const std::string&, platform::MessageIcon,
                  bool) override {
    message(text, "", platform::MessageIcon::question);
    const bool yes = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return yes;
  }
  bool pick(std::string& path) {
    if (picks.empty()) return false;
    path = folder->file(picks.front());
    picks.pop_front();
    return true;
  }
  bool choose_file(const platform::FileChoice&, std::string& path) override { return pick(path); }
  bool choose_folder(const std::string&, std::string& path) override { return pick(path); }
  void item_list(const platform::ItemList& list) override {
    lists.push_back(list.rows.size());
    if (picks.empty() || !list.recover) return;
    recovered = list.recover({picks.begin(), picks.end()});
    picks.clear();
  }
};

// The real window, with the name of every page the wizard sends it to.
struct Observed : platform::WizardWindow {
  platform::WizardWindow* real = nullptr;
  std::vector<std::string> pages, scripts;
  std::string title;
  void* handle() override { return real->handle(); }
  void navigate(const std::string& url) override {
    if (url.rfind("javascript:", 0) == 0) scripts.push_back(url);
    else pages.push_back(url.substr(url.find_last_of('\\') + 1));
    real->navigate(url);
  }
  void set_title(const std::string& text) override {
    title = text;
    real->set_title(text);
  }
  void start_timer() override { real->start_timer(); }
  void stop_timer() override { real->stop_timer(); }
  void close(bool without_asking) override { real->close(without_asking); }
  void destroy() override { real->destroy(); }
  int send_app_command(unsigned command) override { return real->send_app_command(command); }
};

int cancelled = 0;  // navigations the browser handed to the wizard
int seen_navigation(const char* url) {
  ++cancelled;
  return dispatch_navigation(url);
}

// The program in a temp folder with its pages, a loopback server and the real window.
struct RealWizard {
  TempDir dir;
  HttpFixture server;
  Script script;
  Observed window;
  std::optional<ScopedEnv> env;  // set by a road, once the browser has started
  const std::string saved_folder = platform::current_directory();

  RealWizard() {
    platform::set_current_directory(dir.path());
    extract_pages();
    script.folder = &dir;
    platform::set_dialog_script(&script);
    project_path[0] = '\0';
    output_mode = 0;
    window.real = platform::create_wizard_window(
        {seen_navigation, handle_app_command, close_request, progress_tick});
    wizard_window = &window;
    main_window = window.real ? window.real->handle() : nullptr;
  }
  ~RealWizard() {
    pump_until([] { return running_workers.load() == 0; }, 10000);
    delete window.real;
    // The quit message of a closed window would end the next test's dialogs.
    pump_until([] { return false; }, 100);
    wizard_window = nullptr;
    main_window = nullptr;
    platform::set_dialog_script(nullptr);
    remove_pages();
    platform::set_current_directory(saved_folder);
  }
  // Sends the browser to an "app:" link or a form's query; waits for the hand-over.
  void go(const std::string& to) {
    const int before = cancelled;
    window.real->navigate(to.rfind("app:", 0) == 0 ? to : dir.file("cgi.htm") + "?" + to);
    pump_until([&] { return cancelled != before; }, 5000);
    EXPECT_EQ(cancelled, before + 1) << "the browser never handed over " << to;
  }
  // Until every worker has ended, then until the last end notice shows a page (posted
  // after a worker counts itself out), or a while for notices that must change nothing.
  void wait_for_the_run(bool page_expected) {
    for (int waited = 0; running_workers.load() != 0 && waited < 30000; waited += 10)
      platform::sleep_ms(10);
    const size_t shown = window.pages.size();
    pump_until([&] { return page_expected && window.pages.size() != shown; }, page_expected ? 10000 : 300);
  }
  std::string link(const std::string& target) const { return server.url(target); }
};

void url_file(RealWizard& w, const char* name, const char* target) {
  w.dir.write(name, "[InternetShortcut]\r\nURL=" + w.link(target) + "\r\n");
}

// Six records: kept, unchecked, quarantined (404, failed), deleted, fixed; and old.LVN.
void known_project(RealWizard& w) {
  write_project_file(w.dir.file("known.LVN"),
                     {make_record("http://a/", "A.url", 1), make_record("http://b/", "B.url"),
                      make_record("http://c/", "C.url", 1, 2, 1), make_record("http://d/", "D.url", 1, 2, 2),
                      make_record("http://e/", "E.url", 1, 1, 1), make_record("http://f/", "F.url", 1, 3)});
  write_project_file(w.dir.file("old.LVN"), {make_record("http://a/", "A.url")});
}

struct Step {
  const char* go;              // "app:N", a form's query, or "" to wait for the run's end
  const char* pages;           // the pages shown by the step, in order
  std::deque<std::string> picks = {};
  std::deque<bool> answers = {};
  const char* said = "";       // the messages and questions of the step
};

struct Road {
  const char* name;
  void (*prepare)(RealWizard&);
  std::vector<Step> steps;
  void (*check)(RealWizard&);
  bool window_stays_open = false;
};

const Road kRoads[] = {
    {"a new project from a favorites tree, saved back into the tree",
     [](RealWizard& w) {
       url_file(w, "fav\\Good.url", "/status/200");
       url_file(w, "fav\\Sub\\Bad.url", "/status/404");
     },
     {{"caller=1&rg1=rb1&Submit=Next", "2.htm"},
      {"caller=2&rg1=rb2&Submit=Next", "3.htm", {"fav"}},
      {"caller=3&rg1=rb2&rg2=rb2&deadlinks=yes&Submit=Next", "4.htm"},
      {"caller=4&tf1=tree&tf2=2&Submit=Next", "5.htm"},
      {"app:5", "7.htm"}, {"", "8.htm"},
      {"app:9", ""},  // a late end notice changes nothing
      {"app:6", "9.htm"},
      {"caller=9&re1=rb2&Submit=Next", "", {"fav"}, {}, kThanks}},
     [](RealWizard& w) {
       // Byte for byte what the Windows build writes, on both builds.
       EXPECT_EQ(TempDir::read(w.dir.file("fav\\Good.url")),
                 "[InternetShortcut]\r\nURL=" + w.link("/status/200") + "\r\n");
       EXPECT_FALSE(platform::file_attributes(w.dir.file("fav\\Sub\\Bad.url")).exists);
       EXPECT_EQ(TempDir::read(w.dir.file("fav\\Dead Links\\Bad.url")),
                 "[DEFAULT]\r\nBASEURL=" + w.link("/status/404") + "\r\n[InternetShortcut]\r\nURL=" +
                     w.link("/status/404") + "\r\n");
     }},
    {"a new project from a bookmark file, exported to another",
     [](RealWizard& w) {
       w.dir.write("in.htm", "<DT><A HREF=\"" + w.link("/status/404") + "\">Bad</A>\r\n<DT><A HREF=\"" +
                                 w.link("/status/200") + "\">Good</A>\r\n");
     },
     {{"caller=1&rg1=rb1&Submit=Next", "2.htm"},
      {"caller=2&rg1=rb3&Submit=Next", "3.htm", {"in.htm"}},
      // rb2 is not offered by the page, yet counts; only exactly "yes" ticks a box.
      {"caller=3&rg1=rb2&rg2=rb3&deadlinks=yes&desktop=Yes&err500=yes&Submit=Next", "4.htm"},
      {"caller=4&tf1=file&tf2=11&Submit=Next", "5.htm"},
      {"app:5", "7.htm"}, {"", "8.htm"}, {"app:6", "9.htm"},
      {"caller=9&re1=rb3&Submit=Next", "", {"out.htm"}, {}, kThanks}},
     [](RealWizard& w) {
       EXPECT_EQ(TempDir::read(w.dir.file("out.htm")),
                 "<!DOCTYPE NETSCAPE-Bookmark-file-1>\r\n"
                 "    <!--This is an automatically generated file.\r\n"
                 "    It will be read and overwritten.\r\n"
                 "    Do Not Edit! -->\r\n"
                 "    <Title>Bookmarks</Title>\r\n"
                 "    <H1>Bookmarks</H1>\r\n"
                 "<DL>\r\n"
                 "<DT><A HREF=\"" + w.link("/status/200") + "\">Good</A>\r\n"
                 "<DT><H3>Dead Links</H3>\r\n"
                 "<DL><p>\r\n"
                 "<DT><A HREF=\"" + w.link("/status/404") + "\">Bad</A>\r\n"
                 "</DL>\r\n");
       EXPECT_EQ(on_http_error * 10 + on_no_connection, 12u);
       EXPECT_EQ(dead_links_folder * 10 + dead_links_text, 10u);
       EXPECT_TRUE(handle_500);
       EXPECT_EQ(threads, 1u);  // 11 is out of range
     }},
    {"a new project from a bookmark database, saved as a backup to restore",
     [](RealWizard& w) {
       PlacesBuilder places(w.dir.file("places.sqlite"));
       places.bookmark(PlacesBuilder::kMenu, "Bad", w.link("/status/404"));
       places.bookmark(PlacesBuilder::kToolbar, "Good", w.link("/status/200"));
     },
     {{"caller=1&rg1=rb1&Submit=Next", "2.htm"},
      {"caller=2&rg1=rb3&Submit=Next", "3.htm", {"places.sqlite"}},
      {"caller=3&rg1=rb3&rg2=rb3&Submit=Next", "4.htm"},
      {"caller=4&tf1=fox&tf2=1&Submit=Next", "5.htm"},
      {"app:5", "7.htm"}, {"", "8.htm"}, {"app:6", "9.htm"},
      {"caller=9&re1=rb6&Submit=Next", "", {"out.json"}, {}, kThanks}},
     [](RealWizard& w) {
       const std::vector<std::string> items = backup_items(TempDir::read(w.dir.file("out.json")));
       EXPECT_EQ(backup_item(items, PlacesBuilder::guid(7)), dead_links_guid(items) + "|0|Bad|" + w.link("/status/404"));
       EXPECT_EQ(backup_item(items, PlacesBuilder::guid(8)), "toolbar_____|0|Good|" + w.link("/status/200"));
     }},
    {"Pause/Cancel during a slow run: No goes on, Yes stops, Exit then closes",
     [](RealWizard& w) {
       std::vector<LVK_URL> slow;
       for (int i = 0; i < 4; ++i)
         slow.push_back(make_record(w.link("/slow/3000?n=" + std::to_string(i)), "S.url"));
       write_project_file(w.dir.file("slow.LVN"), slow);
     },
     {{"caller=1&rg1=rb2&Submit=Next", "5.htm", {"slow.LVN"}},
      {"app:5", "7.htm"},
      {"app:0", "", {}, {false}, kExitQuestion},
      {"app:0", "8.htm", {}, {true}, kExitQuestion},
      {"", ""},
      {"app:0", "", {}, {}, kThanks}},
     [](RealWizard& w) {
       EXPECT_TRUE(stop_requested.load());
       EXPECT_EQ(w.server.count("/slow/3000?n=3"), 0);  // the run stopped before its end
     }},
    {"resuming a project, its five item lists and Recover, then deleting another", known_project,
     {{"caller=1&rg1=rb2&Submit=Next", "5.htm", {"known.LVN"}},
      {"app:15", ""}, {"app:16", ""}, {"app:17", ""},
      {"app:18", "", {"2", "9"}}, {"app:18", ""}, {"app:19", ""}, {"app:12", "1.htm"},
      {"caller=1&rg1=rb3&Submit=Next", "", {"old.LVN"}, {false}, "Delete this project file ?"},
      {"caller=1&rg1=rb3&Submit=Next", "", {"old.LVN"}, {true},
       "Delete this project file ? Project deleted!"}},
     [](RealWizard& w) {
       EXPECT_NE(TempDir::read(w.dir.file("5.htm")).find("34%\">6<"), std::string::npos);
       EXPECT_FALSE(platform::file_attributes(w.dir.file("old.LVN")).exists);
       EXPECT_EQ(w.script.lists, (std::vector<size_t>{6, 5, 1, 2, 1, 1}));
       EXPECT_EQ(w.script.recovered, (std::vector<bool>{true, false}));
       EXPECT_EQ(w.window.send_app_command(3), 1);  // no such command
       const std::vector<LVK_URL> records = read_project_file(w.dir.file("known.LVN"));
       ASSERT_EQ(records.size(), 6u);
       EXPECT_EQ(records[2].checked * 100 + records[2].action * 10 + records[2].result, 100u);
       EXPECT_EQ(records[3].checked * 100 + records[3].action * 10 + records[3].result, 122u);
     }, true},
    {"steps refused on their page",
     [](RealWizard& w) {
       w.dir.write("old.LVN", std::string(1000, '\0'));
       w.env.emplace("XDG_CONFIG_HOME", w.dir.path());
     },
     {{"caller=4&tf1=&tf2=2", ""},
      {"caller=4&tf1=old&tf2=2", "", {}, {false},
       "This Project already exists!\r\nDo you want to overwrite it?"},
      {"caller=1&rg1=rb2", ""}, {"caller=2&rg1=rb2", ""}, {"caller=9&re1=rb2", ""},
      {"caller=3&rg1=rb9&rg2=rb1", ""}, {"caller=3&rg1=rb1&rg2=rb4", ""},
      {"caller=5&rg1=rb1", ""}, {"rg1=rb1", ""},
      // No Chromium browser's bookmarks here: the user is asked for the file.
      {"caller=2&rg1=rb5", ""},
      {"caller=9&re1=rb5", "", {}, {},
       "This project was not made from a Chromium browser's bookmarks: "
       "choose another way to save."}},
     [](RealWizard& w) {
       EXPECT_STREQ(project_path, "old.LVN");  // the refused name is kept
       EXPECT_TRUE(platform::file_readable(w.dir.file("old.LVN")));
     }, true},
};

const platform::ItemList kTwoRows = {true, true, {{"1", "A", "http://a/", "A.url", "", "0"},
                                                  {"2", "B", "http://b/", "B.url", "", "1"}}};

std::string joined(const std::vector<std::string>& all, size_t from) {
  std::string text;
  for (size_t i = from; i < all.size(); ++i) text += (text.empty() ? "" : " ") + all[i];
  return text;
}

TEST(WizardWindow, WholeRoadsThroughTheRealBrowser) {
  for (const Road& road : kRoads) {
    SCOPED_TRACE(road.name);
    RealWizard w;
    ASSERT_TRUE(w.window.real && w.server.ok());
    road.prepare(w);
    for (const Step& step : road.steps) {
      SCOPED_TRACE(*step.go ? step.go : "the run's end");
      const size_t pages = w.window.pages.size(), said = w.script.said.size();
      w.script.picks = step.picks;
      w.script.answers = step.answers;
      if (*step.go) w.go(step.go);
      else w.wait_for_the_run(*step.pages != '\0');
      EXPECT_EQ(joined(w.window.pages, pages), step.pages);
      EXPECT_EQ(joined(w.script.said, said), step.said);
    }
    EXPECT_EQ(window_open(), road.window_stays_open);
    road.check(w);
  }
}

TEST(WizardWindow, ProgressShowsTheRecordsDone) {
  RealWizard w;
  record_total = 200;
  progress_tick();
  EXPECT_EQ(w.window.title, "Lorvane 2.5");
  worker_position[3].store(1);
  progress_tick();
  EXPECT_EQ(w.window.title, "Lorvane - 1/200 favorites scanned (0%)");
  worker_position[0].store(199);
  progress_tick();
  worker_position[0].store(0);
  worker_position[3].store(0);
  EXPECT_EQ(w.window.title, "Lorvane - 200/200 favorites scanned (100%)");
  EXPECT_EQ(w.window.scripts,
            (std::vector<std::string>{"javascript:setCount(0)", "javascript:setCount(100)"}));
}

TEST(WizardFields, FirstOccurrenceAnywhereUndecoded) {
  struct Case { const char* url; const char* name; bool found; const char* value; long number; };
  const Case cases[] = {
      {"cgi.htm?caller=4&tf1=my+project&tf2=2", "tf1", true, "my+project", 0},
      {"cgi.htm?caller=4&tf1=a%2Fb&tf2=2", "tf2", true, "2", 2},
      {"cgi.htm?caller=4&tf1=xtf2y&tf2=7", "tf2", true, "", 0},  // inside a value first
      {"cgi.htm?caller=4&tf1=", "tf1", true, "", 0},
      {"cgi.htm?caller=4&tf1", "tf1", true, "", 0},               // the name ends the text
      {"cgi.htm?caller=-12abc", "caller", true, "-12abc", -12},
      {"cgi.htm?caller=4", "tf2", false, "unchanged", 0},
  };
  for (const Case& c : cases) {
    char value[100] = "unchanged";
    EXPECT_EQ(find_field(c.url, c.name, value, sizeof value), c.found) << c.url;
    EXPECT_STREQ(value, c.value) << c.url;
    EXPECT_EQ(number_field(c.url, c.name), c.number) << c.url;
  }
  char cut[4];
  ASSERT_TRUE(find_field("tf1=abcdef", "tf1", cut, sizeof cut));
  EXPECT_STREQ(cut, "abc");
}

TEST(ItemList, ViewsListTheirRecordsAndRecoverRewritesOnlyThem) {
  TempDir dir;
  const std::string project = dir.file("i.LVN");
  write_project_file(project, {make_record("http://a/", "Folder\\Site.URL", 1, 2, 2),
                               make_record("http://b/", "abc"),
                               make_record("http://c/", "C.url", 1, 3, 1),
                               make_record("http://d/", "D.url", 1, 2, 1)});
  std::string before = TempDir::read(project);
  const std::vector<platform::ItemRow> quarantined = list_items(project.c_str(), 18);
  ASSERT_EQ(quarantined.size(), 2u);
  EXPECT_EQ(quarantined[0].name, "Site");
  EXPECT_EQ(quarantined[0].reason, "Failed");
  EXPECT_EQ(quarantined[1].number + "/" + quarantined[1].entry + "/" + quarantined[1].reason, "2/3/404");
  EXPECT_EQ(list_items(project.c_str(), 15)[1].name, "abc");
  EXPECT_EQ(list_items(project.c_str(), 19).size(), 1u);  // not the two quarantined
  EXPECT_TRUE(list_items(dir.file("missing.LVN").c_str(), 15).empty());

  EXPECT_EQ(recover_items(project.c_str(), {"3", "9"}), (std::vector<bool>{true, false}));
  const size_t record3 = 1000 + 3 * 2012;
  before.replace(record3 + 2000, 12, std::string("\0\0\0\0\1\0\0\0\0\0\0\0", 12));
  EXPECT_TRUE(TempDir::read(project) == before);  // only record 3's state fields changed

  for (const char* web : {"http://x/", "HTTPS://x/", "ftp://x/"}) EXPECT_TRUE(is_web_address(web));
  for (const char* other : {"C:\\Windows\\System32\\cmd.exe", "\\\\host\\share\\tool.exe", "file:///x", "http://"})
    EXPECT_FALSE(is_web_address(other)) << other;
}

// The real message box and item list, found on the screen and answered as a user would.
#ifdef _WIN32
// The top-level window of that caption once it is shown; null after 5 s.
HWND shown_window(const char* caption) {
  for (int tries = 0; tries < 500; ++tries, ::Sleep(10)) {
    HWND window = ::FindWindowA(nullptr, caption);
    if (window && ::IsWindowVisible(window)) return window;
  }
  return nullptr;
}
// Clicks a button from another thread, as the user's click would come.
void press(HWND window, int button) { ::PostMessageA(::GetDlgItem(window, button), BM_CLICK, 0, 0); }

TEST(WizardWindow, TheRealMessageBoxAndItemListAreAnswered) {
  HWND box = nullptr;
  std::thread user([&] { if ((box = shown_window("Lorvane!"))) press(box, IDYES); });
  EXPECT_TRUE(platform::ask_yes_no(nullptr, "Go on?", "Lorvane!", platform::MessageIcon::question, true));
  user.join();
  EXPECT_TRUE(box);

  LRESULT rows = -1;
  user = std::thread([&] {
    if (HWND dialog = shown_window("Item List")) {
      // The dialog may show before its rows are in.
      for (int tries = 0; tries < 200 && rows <= 0; ++tries, ::Sleep(10))
        rows = ::SendMessageA(::GetDlgItem(dialog, 901), LVM_GETITEMCOUNT, 0, 0);
      press(dialog, 2);  // Close
    }
  });
  platform::show_item_list(nullptr, kTwoRows);  // returns once the dialog has ended
  user.join();
  EXPECT_EQ(rows, 2);
}
#else
// The user, as a timer on the dialog's own loop: counts the captioned dialog's rows and
// presses its buttons; after 5 s closes every dialog, so the test cannot hang.
struct User {
  const char* caption;
  std::deque<int> buttons;  // pressed one per tick, after selecting every row
  std::vector<int> rows = {};  // the list's rows before each press
  int ticks = 0;
};

GtkWidget* find_child(GtkWidget* widget, GType type) {
  if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type)) return widget;
  GtkWidget* found = nullptr;
  if (GTK_IS_CONTAINER(widget)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* at = children; at && !found; at = at->next)
      found = find_child(static_cast<GtkWidget*>(at->data), type);
    g_list_free(children);
  }
  return found;
}

gboolean act(gpointer data) {
  User& user = *static_cast<User*>(data);
  GList* windows = gtk_window_list_toplevels();
  for (GList* at = windows; at; at = at->next) {
    GtkWidget* window = static_cast<GtkWidget*>(at->data);
    const char* title = gtk_window_get_title(GTK_WINDOW(window));
    if (!GTK_IS_DIALOG(window) || !gtk_widget_get_mapped(window)) continue;
    if (title && std::string(title) == user.caption && !user.buttons.empty()) {
      if (GtkWidget* list = find_child(window, GTK_TYPE_TREE_VIEW)) {
        GtkTreeView* view = GTK_TREE_VIEW(list);
        user.rows.push_back(gtk_tree_model_iter_n_children(gtk_tree_view_get_model(view), nullptr));
        gtk_tree_selection_select_all(gtk_tree_view_get_selection(view));
      }
      gtk_button_clicked(GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(window), user.buttons.front())));
      user.buttons.pop_front();
    } else if (user.ticks > 500) {
      gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_DELETE_EVENT);
    }
  }
  g_list_free(windows);
  return user.buttons.empty() || ++user.ticks > 510 ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}

std::vector<std::string> asked_back;
std::vector<bool> put_back(const std::vector<std::string>& entries) {
  asked_back = entries;
  return {false, true};
}

TEST(WizardWindow, TheRealMessageBoxAndItemListAreAnswered) {
  ASSERT_TRUE(platform::graphical_front_end_available());
  User box{"Lorvane!", {GTK_RESPONSE_YES}};
  g_timeout_add(10, act, &box);
  EXPECT_TRUE(platform::ask_yes_no(nullptr, "Go on?", "Lorvane!", platform::MessageIcon::question, true));
  EXPECT_TRUE(box.buttons.empty());

  // Recover with both rows chosen: the one put back leaves the list.
  platform::ItemList list = kTwoRows;
  list.recover = put_back;
  User user{"Item List", {1, 2}};  // Recover, Close
  g_timeout_add(10, act, &user);
  platform::show_item_list(nullptr, list);  // returns once the dialog has ended
  EXPECT_TRUE(user.buttons.empty());
  EXPECT_EQ(user.rows, (std::vector<int>{2, 1}));
  EXPECT_EQ(asked_back, (std::vector<std::string>{"0", "1"}));
}

// The real program on the test's display: "-l" opens the named project's "Ready!" page,
// filled with its records, and says nothing about a console.
TEST(WizardWindow, TheProgramOpensAProjectInItsWindow) {
  TempDir dir;
  const std::string program = dir.file("lvn");
  ASSERT_TRUE(platform::copy_file(LVN_EXE, program));
  // Its window comes from the module beside it.
  const std::string module = std::string(LVN_EXE).substr(0, std::string(LVN_EXE).rfind('/') + 1) + "liblvn_gtk.so";
  ASSERT_TRUE(platform::copy_file(module, dir.file("liblvn_gtk.so")));
  write_project_file(dir.file("known.LVN"), {make_record("http://a/", "A.url", 1), make_record("http://b/", "B.url")});
  ChildProcess lvn;
  ASSERT_TRUE(lvn.start({program, {"-l", "known.LVN"}, dir.path(),
                         {{"HOME", dir.path()}, {"LORVANE_REGISTRY_DIR", dir.path()}}, "/dev/null",
                         dir.file("out")}));
  std::string page;
  for (int waited = 0; page.find("Total Favorites in Project") == std::string::npos && waited < 20000;
       waited += 50, platform::sleep_ms(50))
    page = TempDir::read(dir.file("5.htm"));
  EXPECT_NE(page.find("34%\">2<"), std::string::npos) << page;  // its two records
  lvn.send_signal(SIGTERM);
  EXPECT_EQ(lvn.wait(10000), 128 + SIGTERM);
  EXPECT_EQ(TempDir::read(dir.file("out")).find("No display"), std::string::npos);
}
#endif

}  // namespace
