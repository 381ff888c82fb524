// The one main of every test program. Besides running the tests it keeps
// each test from leaking program-wide settings into the next: whatever a
// test sets (console mode, the project path, the output mode, a message hook,
// a fault plan) is put back when it ends, also when an assertion stopped it.
#include <gtest/gtest.h>

#include <cstring>

#include "core/globals.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"

namespace {

class RestoreGlobals : public testing::EmptyTestEventListener {
  struct Saved {
    int32_t install_state;
    bool console_mode;
    void* main_window;
    char project_path[sizeof ::project_path];
    char source_path[sizeof ::source_path];
    uint32_t on_http_error, on_no_connection, threads, dead_links_folder, dead_links_text;
    bool handle_500;
    uint32_t record_total;
    char dead_list_path[sizeof ::dead_list_path];
    bool stop_requested;
    uint32_t output_mode;
    char output_location[sizeof ::output_location];
  } saved_{};

  void OnTestStart(const testing::TestInfo&) override {
    saved_.install_state = install_state;
    saved_.console_mode = console_mode;
    saved_.main_window = main_window;
    std::memcpy(saved_.project_path, project_path, sizeof project_path);
    std::memcpy(saved_.source_path, source_path, sizeof source_path);
    saved_.on_http_error = on_http_error;
    saved_.on_no_connection = on_no_connection;
    saved_.threads = threads;
    saved_.dead_links_folder = dead_links_folder;
    saved_.dead_links_text = dead_links_text;
    saved_.handle_500 = handle_500;
    saved_.record_total = record_total;
    std::memcpy(saved_.dead_list_path, dead_list_path, sizeof dead_list_path);
    saved_.stop_requested = stop_requested.load();
    saved_.output_mode = output_mode;
    std::memcpy(saved_.output_location, output_location, sizeof output_location);
  }

  void OnTestEnd(const testing::TestInfo&) override {
    install_state = saved_.install_state;
    console_mode = saved_.console_mode;
    main_window = saved_.main_window;
    std::memcpy(project_path, saved_.project_path, sizeof project_path);
    std::memcpy(source_path, saved_.source_path, sizeof source_path);
    on_http_error = saved_.on_http_error;
    on_no_connection = saved_.on_no_connection;
    threads = saved_.threads;
    dead_links_folder = saved_.dead_links_folder;
    dead_links_text = saved_.dead_links_text;
    handle_500 = saved_.handle_500;
    record_total = saved_.record_total;
    std::memcpy(dead_list_path, saved_.dead_list_path, sizeof dead_list_path);
    stop_requested.store(saved_.stop_requested);
    output_mode = saved_.output_mode;
    std::memcpy(output_location, saved_.output_location, sizeof output_location);
    platform::set_message_hook(nullptr);
    platform::set_app_command_sink(nullptr);
    platform::faults::remove();
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new RestoreGlobals);
  return RUN_ALL_TESTS();
}
