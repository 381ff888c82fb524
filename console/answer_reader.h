// Reading the console's answers: one input line per question, cut to the
// question's limit.
#pragma once

#include <cstddef>
#include <cstdio>

// Reads one answer from `in` into `answer`, which must hold limit + 1 bytes.
// At most `limit` characters are kept; the rest of a longer line stays in the
// input and answers the next question. A line end right after the limit is
// taken with the line, so a line of exactly `limit` characters does not leave
// an empty answer behind. Every CR and LF at the end of the answer is
// stripped. At the end of the input the answer is empty.
void read_answer(std::FILE* in, char* answer, size_t limit);

// True when the text ends in ".lvn" in any mix of case.
bool has_project_extension(const char* text);
