#include "bookmarks/bookmark_file_writer.h"

#include <cstring>
#include <string>
#include <vector>

#include "bookmarks/record_stream.h"
#include "core/ascii.h"
#include "core/globals.h"
#include "core/message.h"
#include "platform/platform.h"

namespace {

constexpr char kHeader[] =
    "<!DOCTYPE NETSCAPE-Bookmark-file-1>\r\n"
    "    <!--This is an automatically generated file.\r\n"
    "    It will be read and overwritten.\r\n"
    "    Do Not Edit! -->\r\n"
    "    <Title>Bookmarks</Title>\r\n"
    "    <H1>Bookmarks</H1>\r\n"
    "<DL>\r\n";
static_assert(sizeof kHeader - 1 == 207, "the header is 207 bytes");

constexpr char kCloseFolder[] = "</DL><p>\r\n";

// Collects the output and hands it to the file in large pieces. A failed
// write is remembered so the save is not taken for a success.
class OutputBuffer {
 public:
  explicit OutputBuffer(platform::File& file) : file_(file) { text_.reserve(kFlushSize * 2); }
  void add(const char* text, size_t length) {
    text_.append(text, length);
    if (text_.size() >= kFlushSize) flush();
  }
  void add(const char* text) { add(text, std::strlen(text)); }
  void add(const std::string& text) { add(text.data(), text.size()); }
  void flush() {
    if (!text_.empty() && !file_.write(text_.data(), text_.size())) failed_ = true;
    text_.clear();
  }
  bool failed() const { return failed_; }
  void fail() { failed_ = true; }

 private:
  static constexpr size_t kFlushSize = 1 << 16;
  platform::File& file_;
  std::string text_;
  bool failed_ = false;
};

// The line of one bookmark. Lines are built in a growing string rather than
// a fixed 1000-byte buffer: a 999-character URL and a long name together
// would not fit one, and cutting either would lose the bookmark's data.
void add_bookmark_line(OutputBuffer& out, const std::string& url, const std::string& name) {
  out.add("<DT><A HREF=\"");
  out.add(url);
  out.add("\">");
  out.add(name);
  out.add("</A>\r\n");
}

void add_folder_heading(OutputBuffer& out, const char* name) {
  out.add("<DT><H3>");
  out.add(name, field_length(name, kFolderNameSize));
  out.add("</H3>\r\n<DL><p>\r\n");
}

// The parts of a record's path that the file needs.
struct RecordParts {
  std::string folder;  // up to the last backslash, empty when there is none
  std::string name;    // after it, less the four-character extension
};

RecordParts parts_of(const LVK_URL& record) {
  const std::string path(record.path, field_length(record.path, kPathSize));
  RecordParts parts;
  const size_t slash = path.rfind('\\');
  std::string last = path;
  if (slash != std::string::npos) {
    parts.folder = path.substr(0, slash);
    last = path.substr(slash + 1);
  }
  parts.name = last.size() < 4 ? last : last.substr(0, last.size() - 4);
  return parts;
}

std::string url_of(const LVK_URL& record) {
  return std::string(record.url, field_length(record.url, kUrlSize));
}

// Appends the backslash-separated components of `path` to `chain` (each cut
// to 519 characters) and returns the chain's length. Every component before
// a backslash is kept, even an empty one; the last one only when not empty.
size_t split_folder_path(const char* path, std::vector<AA>& chain) {
  const char* start = path;
  for (;;) {
    const char* slash = std::strchr(start, '\\');
    const size_t length = slash ? static_cast<size_t>(slash - start) : std::strlen(start);
    if (slash || length > 0) {
      AA element;
      const size_t kept = length < kFolderNameSize - 1 ? length : kFolderNameSize - 1;
      std::memcpy(element.name, start, kept);
      std::memset(element.name + kept, 0, kFolderNameSize - kept);
      chain.push_back(element);
    }
    if (!slash) break;
    start = slash + 1;
  }
  return chain.size();
}

// Closes the folders of `previous` that `current` does not share and opens
// the ones it adds, outermost first.
void change_folder(OutputBuffer& out, const std::string& previous, const std::string& current) {
  std::vector<AA> old_chain;
  std::vector<AA> new_chain;
  const size_t new_length = split_folder_path(current.c_str(), new_chain);
  const size_t old_length = split_folder_path(previous.c_str(), old_chain);
  size_t common = 0;
  while (common < old_length && common < new_length &&
         equal_ignoring_case(old_chain[common].name,
                            field_length(old_chain[common].name, kFolderNameSize),
                            new_chain[common].name,
                            field_length(new_chain[common].name, kFolderNameSize)))
    ++common;
  for (size_t i = common; i < old_length; ++i) out.add(kCloseFolder);
  for (size_t i = common; i < new_length; ++i) add_folder_heading(out, new_chain[i].name);
}

void report_failure() {
  show_message_line("Cannot save bookmark file!", platform::MessageIcon::warning);
}

// The file's content: the folders and the kept bookmarks in a first pass over
// the records, the Dead Links folder in a second.
void write_content(RecordStream& records, OutputBuffer& out) {
  out.add(kHeader, sizeof kHeader - 1);

  // The chain of folders open in the output, as the last record's folder part.
  std::string previous;
  LVK_URL record;
  while (records.next(record)) {
    const RecordParts parts = parts_of(record);
    if (!equal_ignoring_case(parts.folder, previous)) {
      change_folder(out, previous, parts.folder);
      previous = parts.folder;
    }
    if (record.action != action_delete && record.action != quarantine)
      add_bookmark_line(out, url_of(record), parts.name);
  }
  std::vector<AA> open_chain;
  const size_t still_open = split_folder_path(previous.c_str(), open_chain);
  for (size_t i = 0; i < still_open; ++i) out.add(kCloseFolder);

  out.add("<DT><H3>Dead Links</H3>\r\n<DL><p>\r\n");
  if (!records.rewind()) out.fail();
  while (records.next(record))
    if (record.action != keep) add_bookmark_line(out, url_of(record), parts_of(record).name);
  out.add("</DL>\r\n");
  out.flush();
}

}  // namespace

void write_bookmark_file() {
  RecordStream records;
  if (!records.open(project_path)) return;

  // The new file is written beside the old one and takes its place only when
  // every byte is on the disk: a full disk, a failure or a kill leaves the old
  // file as it was. A killed save's leftovers go first.
  const std::string target(output_location, field_length(output_location, sizeof output_location));
  const size_t slash = target.find_last_of("\\/");
  platform::remove_stale_temporaries(slash == std::string::npos ? "" : target.substr(0, slash + 1));
  const std::string temporary = platform::temporary_path_beside(target);
  platform::File file = platform::open_file(temporary, platform::FileAccess::create_new);
  if (!file.is_open()) {
    report_failure();
    return;
  }

  OutputBuffer out(file);
  write_content(records, out);
  const bool written = !out.failed() && file.flush();
  file.close();
  if (!written || !platform::replace_file(temporary, target)) {
    platform::delete_file(temporary);
    report_failure();
  }
}
