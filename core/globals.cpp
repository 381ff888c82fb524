#include "core/globals.h"

int32_t install_state = 0;
bool console_mode = false;
void* main_window = nullptr;

char project_path[1000] = {};
char source_path[1000] = {};
uint32_t on_http_error = 0;
uint32_t on_no_connection = 0;
uint32_t threads = 0;
uint32_t dead_links_folder = 0;
uint32_t dead_links_text = 0;
bool handle_500 = false;
uint32_t record_total = 0;
char dead_list_path[1000] = {};

std::atomic<platform::HttpSession*> internet_session{nullptr};
std::atomic<uint32_t> next_record{0};
std::atomic<int32_t> running_workers{0};
std::atomic<uint32_t> worker_position[10] = {};
std::atomic<bool> stop_requested{false};

uint32_t output_mode = 0;
char output_location[1000] = {};

char install_directory[1000] = {};
char start_menu_group[100] = {};
