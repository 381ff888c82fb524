#include "console/answer_reader.h"

#include <climits>
#include <cstring>

namespace {

// Takes the line end that follows an answer cut at its limit, if the line
// ends right there; anything else stays for the next question.
void take_line_end_after_limit(std::FILE* in) {
  const int c = std::fgetc(in);
  if (c == '\n' || c == EOF) return;
  if (c == '\r') {
    const int next = std::fgetc(in);
    if (next != '\n' && next != EOF) std::ungetc(next, in);
    return;
  }
  std::ungetc(c, in);
}

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void read_answer(std::FILE* in, char* answer, size_t limit) {
  answer[0] = '\0';
  if (limit == 0) return;
  if (limit > static_cast<size_t>(INT_MAX) - 1) limit = static_cast<size_t>(INT_MAX) - 1;
  if (!std::fgets(answer, static_cast<int>(limit + 1), in)) {
    answer[0] = '\0';
    return;
  }
  size_t length = std::strlen(answer);
  if (length == limit && answer[length - 1] != '\n') take_line_end_after_limit(in);
  while (length > 0 && (answer[length - 1] == '\n' || answer[length - 1] == '\r'))
    answer[--length] = '\0';
}

long answer_number(const char* answer) {
  const char* p = answer;
  while (is_blank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    const int digit = *p - '0';
    if (!negative) {
      value = (value > (LONG_MAX - digit) / 10) ? LONG_MAX : value * 10 + digit;
    } else {
      value = (value < (LONG_MIN + digit) / 10) ? LONG_MIN : value * 10 - digit;
    }
  }
  return value;
}

bool has_project_extension(const char* text) {
  static const char kExtension[] = ".lvn";
  const size_t length = std::strlen(text);
  if (length < 4) return false;
  for (size_t i = 0; i < 4; ++i)
    if (lower(text[length - 4 + i]) != kExtension[i]) return false;
  return true;
}
