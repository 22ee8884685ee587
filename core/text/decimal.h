// Decimal numbers in texts: the one reader of digits that every parser of
// the program builds on (addresses, filter ports, the command line's
// numbers, the start arguments). Each parser keeps its own rules (how many
// digits, which range, what may follow); the reading is here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pw {

inline constexpr bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// The C library's white space in the "C" locale.
inline constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A value above this is held at it while more digits are read, so that no
// count of digits overflows.
inline constexpr uint64_t kDecimalCeiling = 1'000'000'000'000'000'000ull;

// The run of decimal digits at the start of a text.
struct DecimalDigits {
  size_t count = 0;    // how many digits there are
  uint64_t value = 0;  // their value, at most kDecimalCeiling
};

DecimalDigits ReadDecimalDigits(std::string_view text);

// What the C library's atoi reads at the start of a text: white space, an
// optional sign, and the digits after it.
struct LeadingNumber {
  bool negative = false;
  DecimalDigits digits;
  size_t length = 0;  // characters read: blanks, sign and digits
};

LeadingNumber ReadLeadingNumber(std::string_view text);

}  // namespace pw
