// The commands of the main window: message 10925 with the number as its
// first parameter. Pages link to them as "app:N", workers post one when they
// end, and the statistics table links to the item lists.
#pragma once

constexpr unsigned kAppCommandMessage = 10925;

enum AppCommand : unsigned {
  app_exit = 0,
  app_finish = 1,
  app_run = 5,
  app_save_results = 6,
  app_worker_ended = 9,
  app_help = 10,
  app_license = 11,
  app_start_over = 12,
  app_check_updates = 13,
  app_view_all = 15,
  app_view_checked = 16,
  app_view_deleted = 17,
  app_view_quarantined = 18,
  app_view_fixed = 19,
  app_console = 44,
  app_donate = 49,
};
