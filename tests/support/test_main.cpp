// The one main of every test program. Besides running the tests it keeps
// each test from leaking program-wide settings into the next: whatever a
// test sets (console mode, the project path, the output mode, a message hook,
// a dialog script, a fault plan) is put back when it ends, also when an
// assertion stopped it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/globals.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"

namespace {

#define LVN_GLOBAL(name) {&name, sizeof name}
const struct {
  void* at;
  size_t size;
} kGlobals[] = {
    LVN_GLOBAL(install_state),     LVN_GLOBAL(console_mode),     LVN_GLOBAL(main_window),
    LVN_GLOBAL(project_path),      LVN_GLOBAL(source_path),      LVN_GLOBAL(on_http_error),
    LVN_GLOBAL(on_no_connection),  LVN_GLOBAL(threads),          LVN_GLOBAL(dead_links_folder),
    LVN_GLOBAL(dead_links_text),   LVN_GLOBAL(handle_500),       LVN_GLOBAL(record_total),
    LVN_GLOBAL(dead_list_path),    LVN_GLOBAL(output_mode),      LVN_GLOBAL(output_location),
    LVN_GLOBAL(install_directory), LVN_GLOBAL(start_menu_group),
};

class RestoreGlobals : public testing::EmptyTestEventListener {
  std::vector<std::vector<char>> saved_;
  bool stop_requested_ = false;

  void OnTestStart(const testing::TestInfo&) override {
    saved_.clear();
    for (const auto& g : kGlobals)
      saved_.emplace_back(static_cast<char*>(g.at), static_cast<char*>(g.at) + g.size);
    stop_requested_ = stop_requested.load();
  }

  void OnTestEnd(const testing::TestInfo&) override {
    for (size_t i = 0; i < saved_.size(); ++i)
      std::memcpy(kGlobals[i].at, saved_[i].data(), kGlobals[i].size);
    stop_requested.store(stop_requested_);
    platform::set_message_hook(nullptr);
    platform::set_app_command_sink(nullptr);
    platform::set_dialog_script(nullptr);
    platform::faults::remove();
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new RestoreGlobals);
  return RUN_ALL_TESTS();
}
