#include "ui/start_arguments.h"

#include <climits>
#include <cstdint>

namespace pw {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// The sign, if any, and the digits that follow it; the rest of `text`
// stays in it.
struct SignedDigits {
  bool negative = false;
  std::string_view digits;
};

SignedDigits TakeSignedDigits(std::string_view& text) {
  SignedDigits taken;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    taken.negative = text.front() == '-';
    text.remove_prefix(1);
  }
  size_t n = 0;
  while (n < text.size() && IsDigit(text[n])) ++n;
  taken.digits = text.substr(0, n);
  text.remove_prefix(n);
  return taken;
}

int NumberOf(std::string_view line) {
  while (!line.empty() && IsSpace(line.front())) line.remove_prefix(1);
  const SignedDigits taken = TakeSignedDigits(line);
  const int64_t limit = taken.negative ? -int64_t{INT_MIN} : int64_t{INT_MAX};
  int64_t value = 0;
  for (const char digit : taken.digits) {
    value = value * 10 + (digit - '0');
    if (value > limit) {
      value = limit;
      break;
    }
  }
  return static_cast<int>(taken.negative ? -value : value);
}

// A sign and digits and nothing else.
bool IsNumberOnly(std::string_view text) {
  const SignedDigits taken = TakeSignedDigits(text);
  return !taken.digits.empty() && text.empty();
}

std::string FileOf(std::string_view line) {
  line = Trimmed(line);
  if (!line.empty() && line.front() == '"') {
    line.remove_prefix(1);
    return std::string(line.substr(0, line.find('"')));
  }
  if (IsNumberOnly(line)) return {};
  return std::string(line);
}

}  // namespace

StartArguments ReadStartArguments(std::string_view command_line) {
  return {NumberOf(command_line), FileOf(command_line)};
}

}  // namespace pw
