#include "checker/worker.h"
#include "checker/site_root.h"

#include <cstring>
#include <mutex>
#include <string>

#include "core/app_commands.h"
#include "core/ascii.h"
#include "core/globals.h"
#include "core/records.h"

namespace {

constexpr size_t kStatusSize = 100;

// One lock across open, write and close of the dead-link list, so lines from
// several workers never interleave.
std::mutex dead_list_mutex;

void append_dead_link(const LVK_URL& record) {
  std::string line(record.url, field_length(record.url, kUrlSize));
  line += "\r\n";
  std::lock_guard<std::mutex> lock(dead_list_mutex);
  const size_t length = field_length(dead_list_path, sizeof dead_list_path);
  if (length == 0) return;
  platform::File list =
      platform::open_file(std::string(dead_list_path, length), platform::FileAccess::append);
  if (!list.is_open()) return;  // skipped silently
  list.write(line.data(), line.size());
  list.close();
}

// A record is an Internet Shortcut when its path ends in "url", any case.
bool is_shortcut(const LVK_URL& record) {
  return ends_with_ignoring_case(record.path, field_length(record.path, kPathSize), "url");
}

void mark_http_error(LVK_URL& record, const ProjectHeader& header) {
  record.result = http_error;
  if (header.dead_links_text) append_dead_link(record);
  switch (header.on_http_error) {
    case keep:
    case action_delete:
    case quarantine:
      record.checked = 1;
      record.action = header.on_http_error;
      break;
    case fix:
      record.checked = 1;
      record.action = fix;
      cut_to_site(record.url, kUrlSize);
      break;
    default:
      break;  // stays pending, with its result
  }
}

void mark_no_connection(LVK_URL& record, const ProjectHeader& header) {
  record.result = no_connection;
  if (header.dead_links_text) append_dead_link(record);
  switch (header.on_no_connection) {
    case keep:
    case action_delete:
    case quarantine:
      record.checked = 1;
      record.action = header.on_no_connection;
      break;
    default:
      break;  // stays pending, with its result
  }
}

void mark_valid(LVK_URL& record) {
  record.checked = 1;
  record.action = keep;
  // A record left pending as dead by an earlier run may answer now; valid
  // records carry no result.
  record.result = result_none;
}

enum class Step { next, end_worker };

// Processes record n of the project: reads it at its own offset and, when it
// changed, writes it back at that same offset, so a failed or short write can
// never move into another record.
Step process_record(platform::File& file, const ProjectHeader& header, uint32_t n) {
  char status[kStatusSize];
  std::memset(status, 0, sizeof status);

  unsigned char bytes[kRecordSize];
  if (!file.seek(record_offset(n)) || file.read(bytes, kRecordSize) != kRecordSize)
    return Step::end_worker;
  LVK_URL record;
  decode_record(bytes, record);
  if (record.checked == 1) return Step::next;  // done in an earlier run

  platform::HttpRequest* request = nullptr;
  if (!is_shortcut(record)) {
    record.checked = 1;
    record.action = keep;
  } else if (field_length(record.url, kUrlSize) == 0) {
    mark_http_error(record, header);
  } else {
    platform::HttpSession* session = internet_session.load();
    // Without a session nothing can be checked, which says nothing about the
    // link: it stays pending rather than being taken for dead.
    if (!session) return Step::end_worker;
    const std::string url(record.url, field_length(record.url, kUrlSize));
    bool not_tried = false;
    request = platform::http_open_url(session, url, &not_tried);
    // Stopped while waiting: the record stays pending and is checked again
    // on resume. The request, if any, went with the closed session.
    if (stop_requested.load()) return Step::end_worker;
    // No attempt could be made (closed session, nothing to spare here): that
    // says nothing about the link, which stays pending like the rest.
    if (!request && not_tried) return Step::end_worker;
    if (!request) {
      mark_no_connection(record, header);
    } else {
      long code = 0;
      if (platform::http_query_status(request, status, sizeof status))
        code = leading_decimal(status, sizeof status, Overflow::saturate);
      if (code == 404 || (code == 500 && handle_500))
        mark_http_error(record, header);
      else
        mark_valid(record);
    }
  }

  if (request) platform::http_close_request(request);
  unsigned char done[kRecordSize];
  encode_record(record, done);
  if (file.seek(record_offset(n)) && file.write(done, kRecordSize)) return Step::next;
  // Part of the record may have been stored (a link cut back to its site
  // without its outcome): put the record back as it was, so that it stays
  // pending and is checked again on resume. The disk that refused it will
  // refuse the next ones too, so this worker ends.
  if (file.seek(record_offset(n))) file.write(bytes, kRecordSize);
  return Step::end_worker;
}

}  // namespace

void checker_worker(SliceTask* task) {
  const uint32_t first = task->first;
  const uint32_t count = task->count;
  const uint32_t index = task->index;
  task->taken.store(true, std::memory_order_release);  // the block is reused now

  platform::File file = platform::open_file(project_path, platform::FileAccess::read_write_shared);
  ProjectHeader header;
  if (read_project_header(file, header)) {
    uint32_t done = 0;
    // Each record goes to exactly one worker; the one a worker gives up on
    // (stop, failed write) stays pending for the next run.
    while (!stop_requested.load()) {
      const uint32_t n = next_record.fetch_add(1);
      if (n >= count) break;
      if (process_record(file, header, first + n) == Step::end_worker) break;
      if (index < 10) worker_position[index].store(++done, std::memory_order_relaxed);
    }
  }
  file.close();
  running_workers.fetch_sub(1);
  platform::post_app_command(main_window, app_worker_ended);
}

void request_stop() {
  stop_requested.store(true);
  // Exchanged so that the session is closed exactly once, however many
  // callers race here.
  if (platform::HttpSession* session = internet_session.exchange(nullptr))
    platform::http_close_session(session);
  // No progress timer runs outside the main window; the window stops its own
  // when it handles the end of a run.
}
