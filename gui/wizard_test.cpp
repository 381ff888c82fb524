// The wizard's logic that the whole roads through the real window do not
// reach: the form fields, steps refused on their page, the progress title
// and the item-list views, through a fake window and scripted dialogs.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "core/globals.h"
#include "gui/form_handler.h"
#include "gui/item_list.h"
#include "gui/main_window.h"
#include "gui/page_store.h"
#include "gui/wizard_window.h"
#include "platform/platform.h"
#include "tests/support/env.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

struct FakeWindow : platform::WizardWindow {
  std::vector<std::string> shown;  // page names and scripts, in order
  std::string title;
  bool timer = false, closed = false;
  void* handle() override { return this; }
  void navigate(const std::string& url) override {
    const size_t cut = url.find_last_of("\\/");
    shown.push_back(url.rfind("javascript:", 0) == 0 ? url : url.substr(cut + 1));
  }
  void set_title(const std::string& text) override { title = text; }
  void start_timer() override { timer = true; }
  void stop_timer() override { timer = false; }
  void close(bool without_asking) override {
    if (without_asking) closed = true;
    else close_request();
  }
  void destroy() override { closed = true; }
  int send_app_command(unsigned command) override { return handle_app_command(command); }
};

struct Script : platform::DialogScript {
  std::vector<std::string> said;     // messages and questions, in order
  std::deque<bool> answers;          // Yes/No, in order
  std::deque<std::string> choices;   // files and folders; "" cancels
  void message(const std::string& text, const std::string&, platform::MessageIcon) override {
    said.push_back(text);
  }
  bool ask_yes_no(const std::string& text, const std::string&, platform::MessageIcon,
                  bool) override {
    said.push_back(text);
    const bool yes = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return yes;
  }
  bool choose(std::string& path) {
    if (choices.empty()) return false;
    const std::string next = choices.front();
    choices.pop_front();
    if (!next.empty()) path = next;
    return !next.empty();
  }
  bool choose_file(const platform::FileChoice&, std::string& path) override { return choose(path); }
  bool choose_folder(const std::string&, std::string& path) override { return choose(path); }
  void item_list(const platform::ItemList&) override {}
};

// Each test runs in a folder of its own, as the program runs in its own.
class Wizard : public testing::Test {
 protected:
  void SetUp() override {
    saved_folder_ = platform::current_directory();
    ASSERT_TRUE(platform::set_current_directory(dir_.path()));
    extract_pages();
    wizard_window = &window_;
    main_window = &window_;
    platform::set_dialog_script(&script_);
  }
  void TearDown() override {
    platform::set_dialog_script(nullptr);
    wizard_window = nullptr;
    running_workers.store(0);
    remove_pages();
    platform::set_current_directory(saved_folder_);
  }
  std::string last_page() const { return window_.shown.empty() ? "" : window_.shown.back(); }
  void form(const std::string& query) { dispatch_navigation(("C:\\x\\cgi.htm?" + query).c_str()); }

  TempDir dir_;
  FakeWindow window_;
  Script script_;
  std::string saved_folder_;
};

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

TEST_F(Wizard, StepsThatStayOnTheirPage) {
  dir_.write("old.LVN", std::string(1000, '\0'));
  struct Case { const char* query; std::deque<bool> answers; std::deque<std::string> choices; const char* said; };
  const Case cases[] = {
      {"caller=4&tf1=&tf2=2", {}, {}, nullptr},
      {"caller=4&tf1=old&tf2=2", {false}, {}, "This Project already exists!\r\nDo you want to overwrite it?"},
      {"caller=1&rg1=rb2", {}, {""}, nullptr},
      {"caller=2&rg1=rb2", {}, {""}, nullptr},
      {"caller=3&rg1=rb9&rg2=rb1", {}, {}, nullptr},
      {"caller=3&rg1=rb1&rg2=rb4", {}, {}, nullptr},
      {"caller=5&rg1=rb1", {}, {}, nullptr},
      {"rg1=rb1", {}, {}, nullptr},
      {"caller=9&re1=rb2", {}, {""}, nullptr},
      // No Chromium browser's bookmarks here: the user is asked for the file.
      {"caller=2&rg1=rb5", {}, {""}, nullptr},
      {"caller=9&re1=rb5", {}, {}, "This project was not made from a Chromium browser's bookmarks: "
                                   "choose another way to save."},
  };
  const ScopedEnv no_browsers("XDG_CONFIG_HOME", dir_.path());
  for (const Case& c : cases) {
    script_.said.clear();
    script_.answers = c.answers;
    script_.choices = c.choices;
    form(c.query);
    EXPECT_TRUE(window_.shown.empty()) << c.query << " showed " << last_page();
    EXPECT_EQ(script_.said.empty() ? "" : script_.said.front(), c.said ? c.said : "") << c.query;
  }
  EXPECT_STREQ(project_path, "old.LVN");  // the refused name is kept
  EXPECT_TRUE(platform::file_readable(dir_.file("old.LVN")));
}

TEST_F(Wizard, ProgressShowsTheRecordsDone) {
  record_total = 200;
  progress_tick();
  EXPECT_EQ(window_.title, "Lorvane 2.5");
  worker_position[3].store(1);
  progress_tick();
  EXPECT_EQ(window_.title, "Lorvane - 1/200 favorites scanned (0%)");
  worker_position[0].store(199);
  progress_tick();
  worker_position[0].store(0);
  worker_position[3].store(0);
  EXPECT_EQ(window_.title, "Lorvane - 200/200 favorites scanned (100%)");
  EXPECT_EQ(window_.shown, (std::vector<std::string>{"javascript:setCount(0)", "javascript:setCount(100)"}));
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
  EXPECT_EQ(list_items(project.c_str(), 16).size(), 3u);
  EXPECT_EQ(list_items(project.c_str(), 19).size(), 1u);
  EXPECT_TRUE(list_items(dir.file("missing.LVN").c_str(), 15).empty());

  EXPECT_EQ(recover_items(project.c_str(), {"3", "9"}), (std::vector<bool>{true, false}));
  const std::string after = TempDir::read(project);
  const size_t record3 = 1000 + 3 * 2012;
  before.replace(record3 + 2000, 12, std::string("\0\0\0\0\1\0\0\0\0\0\0\0", 12));
  EXPECT_TRUE(after == before);  // only record 3's state fields changed
  EXPECT_EQ(list_items(project.c_str(), 18).size(), 1u);

  for (const char* web : {"http://x/", "HTTPS://x/", "ftp://x/"}) EXPECT_TRUE(is_web_address(web));
  for (const char* other : {"C:\\Windows\\System32\\cmd.exe", "\\\\host\\share\\tool.exe", "file:///x", "http://"})
    EXPECT_FALSE(is_web_address(other)) << other;
}

}  // namespace
