// Text rules shared by the whole program, the platform backends included.
// Case is folded for the letters A to Z only, so the bytes of UTF-8 or
// code-page text compare as they are; numbers are read the usual decimal way.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

inline char ascii_lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool equal_ignoring_case(const char* a, size_t a_length, const char* b, size_t b_length) {
  if (a_length != b_length) return false;
  for (size_t i = 0; i < a_length; ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

inline bool equal_ignoring_case(const std::string& a, const std::string& b) {
  return equal_ignoring_case(a.data(), a.size(), b.data(), b.size());
}

inline bool ends_with_ignoring_case(const char* text, size_t length, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return length >= n && equal_ignoring_case(text + length - n, n, suffix, n);
}

// What a number too large for its type turns into.
enum class Overflow {
  saturate,  // the largest or smallest long
  wrap32,    // the low 32 bits, as the Windows profile functions give them
};

// Blanks, an optional sign, then decimal digits up to the first other
// character; 0 when there are none. Reads at most `size` characters and
// stops at a NUL.
inline long leading_decimal(const char* text, size_t size, Overflow overflow) {
  size_t i = 0;
  while (i < size && text[i] != '\0' && std::strchr(" \t\n\v\f\r", text[i])) ++i;
  bool negative = false;
  if (i < size && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long value = 0;
  uint32_t low_bits = 0;
  for (; i < size && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    low_bits = low_bits * 10u + static_cast<uint32_t>(digit);
    if (!negative)
      value = value > (LONG_MAX - digit) / 10 ? LONG_MAX : value * 10 + digit;
    else
      value = value < (LONG_MIN + digit) / 10 ? LONG_MIN : value * 10 - digit;
  }
  if (overflow == Overflow::saturate) return value;
  if (negative) low_bits = 0u - low_bits;
  return static_cast<int32_t>(low_bits);
}
