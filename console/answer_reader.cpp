#include "console/answer_reader.h"

#include <climits>
#include <cstring>

#include "core/ascii.h"

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

bool has_project_extension(const char* text) {
  return ends_with_ignoring_case(text, std::strlen(text), ".lvn");
}
