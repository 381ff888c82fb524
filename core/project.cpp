#include "core/project.h"

#include <cstring>
#include <system_error>
#include <thread>

#include "bookmarks/bookmark_file_reader.h"
#include "bookmarks/chromium_bookmarks.h"
#include "bookmarks/favorites_reader.h"
#include "bookmarks/places_database.h"
#include "bookmarks/places_reader.h"
#include "checker/worker.h"
#include "core/globals.h"
#include "core/message.h"
#include "gui/page_store.h"

platform::File project_stream;

namespace {

const char kCannotCreate[] = "ERROR: Cannot create specified project !";
const char kCannotOpen[] = "ERROR: Cannot open specified project !";
const char kStillEnding[] = "ERROR: The previous run is still ending !";
const char kNoSession[] = "ERROR: Cannot open an Internet session !";
const char kNoThread[] = "ERROR: Cannot start the checker threads !";

}  // namespace

void append_record(const LVK_URL& record) {
  unsigned char bytes[kRecordSize];
  encode_record(record, bytes);
  // A failed write closes the stream: the creation sees it, and the reader's
  // later appends write nothing.
  if (!project_stream.write(bytes, kRecordSize)) project_stream.close();
  ++record_total;
}

bool read_project_header(platform::File& file, ProjectHeader& header) {
  unsigned char bytes[kHeaderSize];
  if (!file.seek(0) || file.read(bytes, kHeaderSize) != kHeaderSize) return false;
  decode_header(bytes, header);
  return true;
}

bool read_project_header(const char* path, ProjectHeader& header) {
  platform::File file = platform::open_file(path, platform::FileAccess::read);
  return read_project_header(file, header);
}

void derive_dead_list_path() {
  const std::string desktop = platform::desktop_folder();
  // A Linux account may have no desktop folder yet; the list must still land.
  if (!desktop.empty() && !platform::file_attributes(desktop).exists)
    platform::create_directory(desktop);
  std::string path = desktop + "\\Dead Links.TXT";
  copy_field(dead_list_path, sizeof dead_list_path, path);
}

// Writes the header and fills the new file from its source, under a
// temporary name that no reader lists and that create_project never takes
// for a project; the file gets its own name only once every byte is written
// and flushed. On any failure nothing is left behind. False when the project
// could not be made.
static bool make_new_project() {
  const std::string temporary = platform::temporary_path_beside(project_path);
  // Truncating: a file of this name can only be left by a dead process that
  // had this process's id.
  project_stream = platform::open_file(temporary, platform::FileAccess::create_truncate);
  if (!project_stream.is_open()) return false;
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
  if (!project_stream.write(bytes, kHeaderSize)) project_stream.close();
  if (project_stream.is_open()) {
    if (is_bookmark_file && is_sqlite_file(header.source)) {
      if (!read_places_database(header.source)) project_stream.close();
    } else if (is_bookmark_file && is_chromium_bookmarks_file(header.source)) {
      // A file that cannot be read whole makes no project at all.
      if (!read_chromium_bookmarks(header.source)) project_stream.close();
    } else if (is_bookmark_file) {
      read_bookmark_file(header.source);
    } else {
      walk_favorites_tree(header.source, nullptr);
    }
  }
  // Still open here only when every write went through.
  const bool whole = project_stream.is_open() && project_stream.flush();
  project_stream.close();
  // An existing file is never replaced, even one that appeared meanwhile.
  if (!whole || platform::file_attributes(project_path).exists ||
      !platform::replace_file(temporary, project_path)) {
    platform::delete_file(temporary);
    return false;
  }

  if (dead_links_text) derive_dead_list_path();
  return true;
}

bool create_project(bool create_only) {
  if (platform::file_readable(project_path)) {
    // An existing project is never touched; its own header decides whether
    // its dead links go to the desktop list.
    ProjectHeader header;
    if (read_project_header(project_path, header) && header.dead_links_text == 1)
      derive_dead_list_path();
  } else if (platform::file_attributes(project_path).exists || !make_new_project()) {
    // A file of that name that cannot be read is not truncated: it may hold
    // whatever the user keeps there.
    show_message(kCannotCreate, platform::MessageIcon::error);
    return false;
  }
  if (create_only) return true;

  show_page("7.htm", false);
  return start_run();
}

bool start_run() {
  // The workers of an earlier run still use the session and the cursor.
  if (running_workers.load() > 0) {
    show_message(kStillEnding, platform::MessageIcon::error);
    return false;
  }
  int64_t size = -1;
  ProjectHeader header;
  {
    platform::File file = platform::open_file(project_path, platform::FileAccess::read);
    if (read_project_header(file, header)) size = file.size();
  }
  if (size < 0) {
    show_message(kCannotOpen, platform::MessageIcon::error);
    return false;
  }

  platform::HttpSession* session = platform::http_open_session("LVK");
  if (!session) {
    show_message(kNoSession, platform::MessageIcon::error);
    return false;
  }
  // The session a finished run left open (the console never stops one).
  if (platform::HttpSession* old = internet_session.exchange(session))
    platform::http_close_session(old);
  // A run starts clean: no stop request and no progress left from the last.
  stop_requested.store(false);
  for (auto& slot : worker_position) slot.store(0);
  next_record.store(0);

  const uint32_t count = static_cast<uint32_t>((size - static_cast<int64_t>(kHeaderSize)) /
                                               static_cast<int64_t>(kRecordSize));
  // A header outside 1 to 10 (a project made before any setting) runs with one.
  threads = usable_thread_count(static_cast<long>(header.threads));

  SliceTask task;
  task.first = 0;
  task.count = count;
  uint32_t started = 0;
  for (uint32_t i = 0; i < threads; ++i) {
    task.index = i;
    task.taken.store(false, std::memory_order_release);
    // Counted before it starts: a fast worker counts itself out at its end.
    running_workers.fetch_add(1);
    try {
      std::thread(checker_worker, &task).detach();
    } catch (const std::system_error&) {
      // The others take its share from the cursor.
      running_workers.fetch_sub(1);
      continue;
    }
    while (!task.taken.load(std::memory_order_acquire)) std::this_thread::yield();
    ++started;
  }
  if (started == 0) {
    if (platform::HttpSession* unused = internet_session.exchange(nullptr))
      platform::http_close_session(unused);
    show_message(kNoThread, platform::MessageIcon::error);
    return false;
  }
  return true;
}
