// Parsing and editing of private-profile text. Lines end in LF or CRLF (the
// last one maybe in nothing); lines before the first header belong to no
// section; a line without '=' is no key.
#include "platform/common/ini_text.h"

#include "core/ascii.h"

#include <cstdint>

namespace platform {
namespace common {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void trim_range(const std::string& text, size_t& begin, size_t& end) {
  while (begin < end && is_blank(text[begin])) ++begin;
  while (end > begin && is_blank(text[end - 1])) --end;
}

// The key of a key line ("key=value"), trimmed; false for other lines.
bool key_of(const std::string& text, const IniLine& line, std::string& key, size_t& equals) {
  for (size_t i = line.begin; i < line.end; ++i) {
    if (text[i] == '=') {
      size_t begin = line.begin, end = i;
      trim_range(text, begin, end);
      key.assign(text, begin, end - begin);
      equals = i;
      return true;
    }
  }
  return false;
}

std::string unquote(std::string value) {
  const size_t n = value.size();
  if (n >= 2 && (value[0] == '"' || value[0] == '\'') && value[n - 1] == value[0])
    return value.substr(1, n - 2);
  return value;
}

}  // namespace

int ini_int_value(const std::string& value, int default_value) {
  if (value.empty()) return default_value;
  return static_cast<int>(leading_decimal(value.data(), value.size(), Overflow::wrap32));
}

std::vector<IniLine> ini_lines(const std::string& text) {
  std::vector<IniLine> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t lf = text.find('\n', pos);
    IniLine line;
    line.begin = pos;
    if (lf == std::string::npos) {
      line.end = text.size();
      line.next = text.size();
    } else {
      line.end = (lf > pos && text[lf - 1] == '\r') ? lf - 1 : lf;
      line.next = lf + 1;
    }
    lines.push_back(line);
    pos = line.next;
  }
  return lines;
}

bool ini_header(const std::string& text, const IniLine& line, std::string& name) {
  size_t begin = line.begin, end = line.end;
  trim_range(text, begin, end);
  if (begin >= end || text[begin] != '[') return false;
  size_t close = text.find(']', begin + 1);
  if (close == std::string::npos || close >= end) return false;
  size_t name_begin = begin + 1, name_end = close;
  trim_range(text, name_begin, name_end);
  name.assign(text, name_begin, name_end - name_begin);
  return true;
}

bool ini_find(const std::string& text, const std::string& section, const std::string& key,
              std::string& value) {
  bool seen_section = false;
  bool inside = false;
  for (const IniLine& line : ini_lines(text)) {
    std::string name;
    if (ini_header(text, line, name)) {
      // Only the first section of a name counts.
      if (inside) return false;
      inside = !seen_section && equal_ignoring_case(name, section);
      seen_section = seen_section || inside;
      continue;
    }
    if (!inside) continue;
    std::string line_key;
    size_t equals;
    if (key_of(text, line, line_key, equals) && equal_ignoring_case(line_key, key)) {
      size_t begin = equals + 1, end = line.end;
      trim_range(text, begin, end);
      value = unquote(text.substr(begin, end - begin));
      return true;
    }
  }
  return false;
}

bool ini_has_section(const std::string& text, const std::string& section) {
  for (const IniLine& line : ini_lines(text)) {
    std::string name;
    if (ini_header(text, line, name) && equal_ignoring_case(name, section)) return true;
  }
  return false;
}

std::vector<std::string> ini_section_names(const std::string& text) {
  std::vector<std::string> names;
  for (const IniLine& line : ini_lines(text)) {
    std::string name;
    if (ini_header(text, line, name)) names.push_back(name);
  }
  return names;
}

std::string ini_set(const std::string& text, const std::string& section,
                    const std::string& key, const std::string& value) {
  const std::vector<IniLine> lines = ini_lines(text);
  bool inside = false;
  bool found_section = false;
  size_t insert_at = 0;  // just past the section's last non-blank line
  size_t section_last = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const IniLine& line = lines[i];
    std::string name;
    if (ini_header(text, line, name)) {
      if (inside) break;
      if (!found_section && equal_ignoring_case(name, section)) {
        inside = found_section = true;
        section_last = i;
      }
      continue;
    }
    if (!inside) continue;
    std::string line_key;
    size_t equals;
    if (key_of(text, line, line_key, equals) && equal_ignoring_case(line_key, key)) {
      // Keep the key as written and the line's own terminator.
      return text.substr(0, line.begin) + line_key + "=" + value +
             text.substr(line.end);
    }
    size_t begin = line.begin, end = line.end;
    trim_range(text, begin, end);
    if (begin < end) section_last = i;
  }
  const std::string new_line = key + "=" + value + "\r\n";
  if (found_section) {
    const IniLine& last = lines[section_last];
    insert_at = last.next;
    std::string before = text.substr(0, insert_at);
    if (last.next == last.end) before += "\r\n";  // the last line had no terminator
    return before + new_line + text.substr(insert_at);
  }
  std::string out = text;
  if (!out.empty() && out.back() != '\n') out += "\r\n";
  return out + "[" + section + "]\r\n" + new_line;
}

}  // namespace common
}  // namespace platform
