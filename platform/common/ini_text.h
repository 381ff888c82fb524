// The private-profile (INI) format over text held in memory: the POSIX
// backend's profile functions and file-backed registry, and the Win32
// backend's profile functions for paths too long for the system's own.
// Pure string work, no calls to the operating system.
#pragma once

#include <string>
#include <vector>

namespace platform {
namespace common {

// Finds key in the first section of that name (both without regard to case);
// the value loses surrounding blanks and one pair of matching quotes.
bool ini_find(const std::string& text, const std::string& section, const std::string& key,
              std::string& value);
// True when a section of that name exists.
bool ini_has_section(const std::string& text, const std::string& section);
// Names of every section, in file order.
std::vector<std::string> ini_section_names(const std::string& text);
// Sets key in section: replaces the first matching key line of the first
// matching section, or adds the key as the section's last line, or appends
// the section with the key at the end. Every other byte stays as it was;
// new lines end with "\r\n".
std::string ini_set(const std::string& text, const std::string& section,
                    const std::string& key, const std::string& value);
// A profile value read as an integer the way the Windows function reads it:
// empty gives default_value, otherwise the leading decimal number after
// blanks and an optional sign (0 when there is none), wrapping like an
// unsigned 32-bit number.
int ini_int_value(const std::string& value, int default_value);
// Removes every section (header and lines) whose name the predicate accepts.
template <typename Accept>
std::string ini_remove_sections(const std::string& text, Accept accept);

// One physical line: [begin, end) without its terminator, next = start of the
// following line.
struct IniLine {
  size_t begin;
  size_t end;
  size_t next;
};
std::vector<IniLine> ini_lines(const std::string& text);
// The section name when the line is a header.
bool ini_header(const std::string& text, const IniLine& line, std::string& name);

template <typename Accept>
std::string ini_remove_sections(const std::string& text, Accept accept) {
  std::string out;
  bool dropping = false;
  for (const IniLine& line : ini_lines(text)) {
    std::string name;
    if (ini_header(text, line, name)) dropping = accept(name);
    if (!dropping) out.append(text, line.begin, line.next - line.begin);
  }
  return out;
}

}  // namespace common
}  // namespace platform
