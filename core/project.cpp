#include "core/project.h"

#include <cstring>
#include <thread>

#include "bookmarks/bookmark_file_reader.h"
#include "bookmarks/favorites_reader.h"
#include "checker/worker.h"
#include "core/globals.h"
#include "core/message.h"
#include "gui/page_store.h"

platform::File project_stream;

void append_record(const LVK_URL& record) {
  unsigned char bytes[kRecordSize];
  encode_record(record, bytes);
  project_stream.write(bytes, kRecordSize);
  ++record_total;
}

bool read_project_header(const char* path, ProjectHeader& header) {
  platform::File file = platform::open_file(path, platform::FileAccess::read);
  if (!file.is_open()) return false;
  unsigned char bytes[kHeaderSize];
  if (file.read(bytes, kHeaderSize) != kHeaderSize) return false;
  decode_header(bytes, header);
  return true;
}

void derive_dead_list_path() {
  const std::string desktop = platform::desktop_folder();
  // A Linux account may have no desktop folder yet; the list must still land.
  if (!desktop.empty() && !platform::file_attributes(desktop).exists)
    platform::create_directory(desktop);
  std::string path = desktop + "\\Dead Links.TXT";
  copy_field(dead_list_path, sizeof dead_list_path, path);
}

// Writes the header and fills the new file from its source. Returns false
// when the file could not be created.
static bool make_new_project() {
  project_stream = platform::open_file(project_path, platform::FileAccess::create_truncate);
  if (!project_stream.is_open()) {
    platform::message_box(main_window, "ERROR: Cannot create specified project !",
                          kProductName, platform::MessageIcon::error);
    return false;
  }
  record_total = 0;

  ProjectHeader header;
  std::memset(&header, 0, sizeof header);
  header.format = 1;
  header.on_http_error = on_http_error;
  header.on_no_connection = on_no_connection;
  header.threads = threads;
  header.dead_links_folder = dead_links_folder;
  header.dead_links_text = dead_links_text;
  copy_field(header.source, sizeof header.source, source_path);

  const bool is_bookmark_file = platform::file_readable(header.source);
  unsigned char bytes[kHeaderSize];
  encode_header(header, bytes);
  project_stream.write(bytes, kHeaderSize);
  if (is_bookmark_file)
    read_bookmark_file(header.source);
  else
    walk_favorites_tree(header.source, nullptr);
  project_stream.close();

  if (dead_links_text) derive_dead_list_path();
  return true;
}

void create_project(bool create_only) {
  if (platform::file_readable(project_path)) {
    // An existing project is never touched; its own header decides whether
    // its dead links go to the desktop list.
    ProjectHeader header;
    if (read_project_header(project_path, header) && header.dead_links_text == 1)
      derive_dead_list_path();
  } else if (platform::file_attributes(project_path).exists) {
    // There is a file of that name that cannot be read: creating the project
    // would truncate it and lose whatever it holds.
    platform::message_box(main_window, "ERROR: Cannot create specified project !", kProductName,
                          platform::MessageIcon::error);
    return;
  } else if (!make_new_project()) {
    return;
  }
  if (create_only) return;

  show_page("7.htm", false);
  // A new run after a finished or stopped one must not see the old request.
  if (running_workers.load() <= 0) stop_requested.store(false);
  internet_session.store(platform::http_open_session("LVK"));
  start_run();
}

void start_run() { start_run_with(checker_worker); }

void start_run_with(WorkerEntry worker) {
  int64_t size = -1;
  ProjectHeader header;
  {
    platform::File file = platform::open_file(project_path, platform::FileAccess::read);
    unsigned char bytes[kHeaderSize];
    if (file.is_open()) {
      size = file.size();
      if (size < static_cast<int64_t>(kHeaderSize) || file.read(bytes, kHeaderSize) != kHeaderSize)
        size = -1;
      else
        decode_header(bytes, header);
    }
  }
  if (size < 0) {
    show_message("ERROR: Cannot open specified project !", platform::MessageIcon::error);
    return;
  }

  const uint32_t count = static_cast<uint32_t>((size - static_cast<int64_t>(kHeaderSize)) /
                                               static_cast<int64_t>(kRecordSize));
  // A header outside 1 to 10 (a project made before any setting) runs with one.
  threads = (header.threads >= 1 && header.threads <= 10) ? header.threads : 1;
  slice_length = count / threads;

  SliceTask task;
  for (uint32_t i = 0; i < threads; ++i) {
    task.first = i * slice_length;
    task.count = (i == threads - 1) ? count - i * slice_length : slice_length;
    task.index = i;
    task.taken.store(false, std::memory_order_release);
    std::thread(worker, &task).detach();
    while (!task.taken.load(std::memory_order_acquire)) std::this_thread::yield();
    running_workers.fetch_add(1);
  }
}
