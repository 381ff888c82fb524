// The whole road through the real window: the wizard's handlers from gui/
// behind the real main window and browser, driven by navigating the browser
// to the URLs the pages produce.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/globals.h"
#include "gui/form_handler.h"
#include "gui/main_window.h"
#include "gui/page_store.h"
#include "gui/wizard_window.h"
#include "platform/platform.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<std::string> navigations;
std::vector<unsigned> commands;

int seen_navigation(const char* url) {
  navigations.push_back(url);
  return dispatch_navigation(url);
}
int seen_command(unsigned command) {
  commands.push_back(command);
  return handle_app_command(command);
}

// Navigates and runs the window thread's messages until the browser has
// reported one more cancelled navigation, or for at most a second.
void navigate_and_wait(const std::string& url) {
  const size_t before = navigations.size();
  wizard_window->navigate(url);
  for (int round = 0; round < 100 && navigations.size() == before; ++round) {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
    ::Sleep(10);
  }
}

TEST(WizardWindow, BrowserNavigationsReachTheWizard) {
  TempDir dir;
  const std::string saved_folder = platform::current_directory();
  ASSERT_TRUE(platform::set_current_directory(dir.path()));
  extract_pages();
  const platform::WizardHandlers handlers{seen_navigation, seen_command, close_request,
                                         progress_tick};
  wizard_window = platform::create_wizard_window(handlers);
  ASSERT_TRUE(wizard_window);
  main_window = wizard_window->handle();

  const std::string form = dir.file("cgi.htm") + "?caller=1&rg1=rb1";
  navigate_and_wait("app:12");  // "Start over"
  navigate_and_wait(form);      // 1.htm, a new project
  ASSERT_EQ(navigations.size(), 2u);
  EXPECT_EQ(navigations[0], "app:12");
  EXPECT_NE(navigations[1].find("cgi.htm?caller=1&rg1=rb1"), std::string::npos) << navigations[1];
  EXPECT_EQ(commands, std::vector<unsigned>{12});
  EXPECT_EQ(wizard_window->send_app_command(3), 1);  // no such command

  // The wizard's end destroys the window from inside the browser's event;
  // the loop then ends.
  wizard_window->navigate("app:1");
  platform::run_message_loop();
  EXPECT_EQ(commands, (std::vector<unsigned>{12, 3, 1}));
  EXPECT_FALSE(::IsWindow(static_cast<HWND>(main_window)));

  delete wizard_window;
  wizard_window = nullptr;
  main_window = nullptr;
  remove_pages();
  platform::set_current_directory(saved_folder);
}

}  // namespace
