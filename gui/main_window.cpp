#include "gui/main_window.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "checker/worker.h"
#include "console/console_mode.h"
#include "core/app_commands.h"
#include "core/globals.h"
#include "core/maker.h"
#include "core/project.h"
#include "gui/item_list.h"
#include "gui/page_store.h"
#include "gui/wizard_window.h"
#include "platform/platform.h"
#include "setup/setup_roles.h"

namespace {

const char kTitle[] = "Lorvane 2.5";

// Set when the user stops a run: the end notices of its workers that come
// afterwards change nothing. Touched on the window thread only.
bool run_over = false;

void open_beside_program(const char* page) {
  platform::shell_open(platform::current_directory() + "\\" + page, true);
}

// The run ends on screen: no more progress, the results page with fresh
// figures.
void show_results() {
  request_stop();
  wizard_window->stop_timer();
  show_page("8.htm", true);
}

}  // namespace

int handle_app_command(unsigned command) {
  switch (command) {
    case app_exit:
      wizard_window->close(false);
      return 0;
    case app_finish:
      wizard_window->close(true);
      return 0;
    case app_run:
      run_over = false;
      // Each run shows its own progress, also after an earlier one stopped
      // the timer.
      wizard_window->start_timer();
      create_project(false);
      return 0;
    case app_save_results:
      show_page("9.htm", false);
      return 0;
    case app_worker_ended:
      if (run_over || running_workers.load() != 0) return 1;
      show_results();
      // Two workers that end together both find none left running: only
      // the first notice shows the results.
      run_over = true;
      return 0;
    case app_help:
      open_beside_program("help.htm");
      return 0;
    case app_license:
      open_beside_program("eula.htm");
      return 0;
    case app_start_over:
      show_page("1.htm", false);
      return 0;
    case app_check_updates:
      platform::profile_write(".\\up.ini", "General", "UC", "30");
      start_update_check(main_window);
      return 0;
    case app_view_all:
    case app_view_checked:
    case app_view_deleted:
    case app_view_quarantined:
    case app_view_fixed:
      show_item_list(command);
      return 0;
    case app_console:
      wizard_window->destroy();
      main_window = nullptr;
      run_console_mode();
      std::exit(0);
    case app_donate:
      platform::shell_open(std::string(kMakerSite) + "/cgi-bin/download.cgi?file=donate&amount=0.99",
                           false);
      return 0;
    default:
      return 1;
  }
}

void close_request() {
  if (run_over || running_workers.load() == 0) {
    show_page("end.htm", false);
    return;
  }
  if (!platform::ask_yes_no(main_window,
                            "Are you sure you want to exit Lorvane ?\r\n"
                            "If you are running a project, it will be saved for next time!",
                            kProductName, platform::MessageIcon::question, false))
    return;
  stop_requested.store(true);
  show_results();
  run_over = true;
}

void progress_tick() {
  uint32_t done = 0;
  for (const auto& slot : worker_position) done += slot.load(std::memory_order_relaxed);
  if (done == 0) {
    wizard_window->set_title(kTitle);
    return;
  }
  // No total yet (a run started before any statistics were read) counts as
  // nothing done rather than a division by zero.
  unsigned percent =
      record_total ? static_cast<unsigned>(done * 100.0 / record_total) : 0u;
  char text[100];
  std::snprintf(text, sizeof text, "javascript:setCount(%u)", percent);
  wizard_window->navigate(text);
  std::snprintf(text, sizeof text, "Lorvane - %u/%u favorites scanned (%u%%)", done,
                record_total, percent);
  wizard_window->set_title(text);
}
