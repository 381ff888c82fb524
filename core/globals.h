// Program-wide settings and run state. One project is current at a time;
// the front ends set these, the project file operations and the workers read
// them. What threads share is atomic.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

// Set by start-up.
extern int32_t install_state;  // 0 installed, 1 not installed, 2 uninstall requested
extern bool console_mode;      // messages go to standard output
extern void* main_window;      // the main window, once created

// The current project and the choices copied into a new project's header.
extern char project_path[1000];
extern char source_path[1000];
extern uint32_t on_http_error;
extern uint32_t on_no_connection;
extern uint32_t threads;
extern uint32_t dead_links_folder;
extern uint32_t dead_links_text;
extern bool handle_500;
extern uint32_t record_total;
extern char dead_list_path[1000];

// The current run.
extern std::atomic<platform::HttpSession*> internet_session;
// Index (from the run's first record) of the next record a worker takes.
extern std::atomic<uint32_t> next_record;
extern std::atomic<int32_t> running_workers;
// Per worker slot, the records that worker has finished in this run, so the
// ten slots add up to the records done.
extern std::atomic<uint32_t> worker_position[10];
extern std::atomic<bool> stop_requested;

// Where and how save results writes: 1 bookmark file, 2 favorites tree.
extern uint32_t output_mode;
extern char output_location[1000];

// The installation the wizard's install page asks for.
extern char install_directory[1000];
extern char start_menu_group[100];  // "yes" when a Start-menu group is wanted

constexpr const char* kProductName = "Lorvane";
