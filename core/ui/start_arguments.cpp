#include "ui/start_arguments.h"

#include <climits>
#include <cstdint>

#include "text/decimal.h"

namespace pw {
namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

int NumberOf(std::string_view line) {
  const LeadingNumber number = ReadLeadingNumber(line);
  const uint64_t limit = number.negative ? uint64_t{1} + INT_MAX : uint64_t{INT_MAX};
  const uint64_t value = number.digits.value < limit ? number.digits.value : limit;
  return number.negative ? static_cast<int>(-static_cast<int64_t>(value)) : static_cast<int>(value);
}

// A sign and digits and nothing else.
bool IsNumberOnly(std::string_view text) {
  const LeadingNumber number = ReadLeadingNumber(text);
  return number.digits.count > 0 && number.length == text.size() && !IsBlank(text.front());
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
