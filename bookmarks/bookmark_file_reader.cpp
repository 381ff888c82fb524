#include "bookmarks/bookmark_file_reader.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "core/project.h"
#include "core/records.h"
#include "platform/platform.h"

namespace {

// Every value taken from the file is held in a 1000-byte buffer, so at most
// this many characters of it are kept.
constexpr size_t kMaxText = 999;
constexpr char kExtension[] = ".URL";
constexpr size_t kExtensionLength = sizeof kExtension - 1;

// Finds the next occurrence of a marker at or after a position of the text.
//
// The scan asks for the next marker after every entry; searching afresh each
// time would make a file with few markers cost the square of its size. The
// finder remembers its last answer: a query at or after the position it last
// searched from and not past the occurrence it found gets the same answer at
// once. Every query of one finder comes at or after the previous one, so the
// text is searched about once per finder in all, and the answers are exactly
// those of a fresh search.
class Finder {
 public:
  Finder(const char* marker, const char* end)
      : marker_(marker), length_(std::strlen(marker)), end_(end) {}

  // The first occurrence at or after `from`, or null when there is none
  // before the end of the text.
  const char* find(const char* from) {
    if (!(searched_ && from >= from_ && from <= hit_)) {
      from_ = from;
      hit_ = search(from);
      searched_ = true;
    }
    return hit_ == end_ ? nullptr : hit_;
  }

 private:
  const char* search(const char* from) const {
    if (from >= end_) return end_;
    const char* p = from;
    for (;;) {
      const size_t left = static_cast<size_t>(end_ - p);
      if (left < length_) return end_;
      const void* first = std::memchr(p, marker_[0], left - length_ + 1);
      if (!first) return end_;
      p = static_cast<const char*>(first);
      if (std::memcmp(p, marker_, length_) == 0) return p;
      ++p;
    }
  }

  const char* marker_;
  size_t length_;
  const char* end_;
  bool searched_ = false;
  const char* from_ = nullptr;
  const char* hit_ = nullptr;
};

// Cut to the first kMaxText characters of [begin, end).
size_t kept_length(const char* begin, const char* end) {
  const size_t length = static_cast<size_t>(end - begin);
  return length < kMaxText ? length : kMaxText;
}

void sanitise_bytes(char* name, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    switch (name[i]) {
      case '?': case '*': case '/': case ':': case '"': case '>': case '<': case '|':
        name[i] = '_';
        break;
      default:
        break;
    }
  }
}

// The new length of a folder path of `length` characters once its innermost
// folder is removed.
size_t popped_length(const char* path, size_t length) {
  if (length > 0 && path[length - 1] == '\\') --length;
  while (length > 0 && path[length - 1] != '\\') --length;
  // The backslash before the innermost folder goes with it.
  if (length > 0) --length;
  return length;
}

// The folders that the scan is inside, outermost first, separated by single
// backslashes. It is kept whole, however long, so that closing a folder
// always returns to the right level; only the records' paths are cut.
class FolderPath {
 public:
  void open(const char* name, size_t length) { open_folder(text_, name, length); }
  void close() { text_.resize(popped_length(text_.data(), text_.size())); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace

// The link name is the link text with ".URL" appended, sanitised; the
// relative path is the folder path, a backslash when needed, and the link
// name. A value that does not fit
// its 1000-byte field is cut to 999 characters; the name and the path are cut
// before their ".URL", which always ends them, so that a cut record is still
// taken for a shortcut by the checker and the writers.
void make_link_record(LVK_URL& record, const std::string& folder, const char* url,
                      size_t url_length, const char* text, size_t text_length) {
  std::memset(&record, 0, sizeof record);

  std::memcpy(record.url, url, url_length < kMaxText ? url_length : kMaxText);

  // The link name: at most 995 characters of text, then ".URL".
  char name[kMaxText + 1];
  const size_t name_text = text_length < kMaxText - kExtensionLength
                               ? text_length
                               : kMaxText - kExtensionLength;
  std::memcpy(name, text, name_text);
  sanitise_bytes(name, name_text);

  const bool separator = !folder.empty() && folder.back() != '\\';
  const size_t room = kMaxText - kExtensionLength;  // before ".URL"
  size_t at = 0;
  const size_t folder_kept = folder.size() < room ? folder.size() : room;
  std::memcpy(record.path, folder.data(), folder_kept);
  at = folder_kept;
  if (separator && at < room) record.path[at++] = '\\';
  const size_t text_kept = name_text < room - at ? name_text : room - at;
  std::memcpy(record.path + at, name, text_kept);
  at += text_kept;
  std::memcpy(record.path + at, kExtension, kExtensionLength);
}

void open_folder(std::string& path, const char* name, size_t length) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  path.append(name, length < kMaxText ? length : kMaxText);
}

namespace {

void append_link(const FolderPath& folders, const char* url, size_t url_length,
                 const char* text, size_t text_length) {
  LVK_URL record;
  make_link_record(record, folders.text(), url, url_length, text, text_length);
  append_record(record);
}

// Runs the scan over text [text, end); *end is NUL.
void scan(const char* text, const char* end) {
  Finder next_dt("<DT>", end);
  Finder next_dl("</DL>", end);
  Finder next_href("HREF=", end);
  // Separate finders for the links' and the headings' characters keep the
  // queries of each finder in increasing order.
  Finder url_quote("\"", end);
  Finder link_gt(">", end);
  Finder link_lt("<", end);
  Finder heading_gt(">", end);
  Finder heading_lt("<", end);

  FolderPath folders;
  const char* position = text;
  for (;;) {
    const char* dt = next_dt.find(position);
    const char* dl = next_dl.find(position);
    if (dl && dt && dl < dt) {
      folders.close();
      position = dl + 1;
      continue;
    }
    if (!dt) return;

    const char* entry = dt + 4;
    // An entry that cannot be read to its end yields nothing; the scan then
    // goes on just after the start of its "<DT>".
    const char* resume = dt + 1;
    if (entry[0] == '<' && (entry[1] == 'A' || entry[1] == 'a')) {
      const char* href = next_href.find(entry);
      if (!href || href + 6 > end) {
        position = resume;
        continue;
      }
      const char* url = href + 6;  // past HREF=" (the quote is assumed)
      const char* quote = url_quote.find(url);
      if (!quote) {
        position = resume;
        continue;
      }
      const char* gt = link_gt.find(quote);
      const char* lt = gt ? link_lt.find(gt + 1) : nullptr;
      if (!lt) {
        position = resume;
        continue;
      }
      append_link(folders, url, static_cast<size_t>(quote - url), gt + 1,
                  static_cast<size_t>(lt - (gt + 1)));
      position = lt;
    } else {
      const char* gt = heading_gt.find(entry);
      const char* lt = gt ? heading_lt.find(gt + 1) : nullptr;
      if (!lt) {
        position = resume;
        continue;
      }
      folders.open(gt + 1, kept_length(gt + 1, lt));
      position = lt;
    }
  }
}

}  // namespace

void read_bookmark_file(const char* path) {
  platform::File file = platform::open_file(path, platform::FileAccess::read);
  if (!file.is_open()) return;
  const int64_t size = file.size();
  if (size < 0 || static_cast<uint64_t>(size) > SIZE_MAX - 16) return;
  const size_t length = static_cast<size_t>(size);

  // The whole file and ten zero bytes, scanned as one NUL-terminated text:
  // a NUL byte in the file ends the text there.
  std::unique_ptr<char[]> text(new (std::nothrow) char[length + 10]);
  if (!text) return;
  std::memset(text.get(), 0, length + 10);
  if (!file.seek(0)) return;
  file.read(text.get(), length);  // a short read leaves zeros, which end the text
  file.close();

  const char* begin = text.get();
  scan(begin, begin + std::strlen(begin));
}

void sanitise_name(char* name) { sanitise_bytes(name, std::strlen(name)); }
