#include "text/decimal.h"

namespace pw {

DecimalDigits ReadDecimalDigits(std::string_view text) {
  DecimalDigits digits;
  while (digits.count < text.size() && IsDecimalDigit(text[digits.count])) {
    const uint64_t value = digits.value * 10 + static_cast<uint64_t>(text[digits.count] - '0');
    digits.value = value < kDecimalCeiling ? value : kDecimalCeiling;
    ++digits.count;
  }
  return digits;
}

LeadingNumber ReadLeadingNumber(std::string_view text) {
  LeadingNumber number;
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    number.negative = text[i] == '-';
    ++i;
  }
  number.digits = ReadDecimalDigits(text.substr(i));
  number.length = i + number.digits.count;
  return number;
}

}  // namespace pw
