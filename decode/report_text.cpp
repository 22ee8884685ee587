#include "decode/report_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace pw {

bool ReportText::Append(std::string_view text) {
  const size_t n = text.size() <= room() ? text.size() : room();
  std::memcpy(text_ + size_, text.data(), n);
  size_ += n;
  return n == text.size();
}

bool ReportText::AppendFormat(const char* format, ...) {
  char line[kReportLineBuffer];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return false;
  const size_t length = static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n)
                                                             : sizeof line - 1;
  return Append({line, length}) && length == static_cast<size_t>(n);
}

AddressText DottedAddress(uint32_t address) {
  AddressText out;
  std::snprintf(out.text, sizeof out.text, "%u.%u.%u.%u", address >> 24,
                address >> 16 & 0xFF, address >> 8 & 0xFF, address & 0xFF);
  return out;
}

void CutIntoEntries(std::string_view text, std::vector<std::string>& entries) {
  entries.clear();
  size_t start = 0;
  // Once no carriage return is left, none will be found later either; the
  // search switches to line feeds for the rest of the text.
  bool carriage_returns_left = true;
  for (;;) {
    size_t end = std::string_view::npos;
    if (carriage_returns_left) {
      end = text.find('\r', start);
      if (end == std::string_view::npos) carriage_returns_left = false;
    }
    if (!carriage_returns_left) end = text.find('\n', start);
    if (end == std::string_view::npos) {
      entries.emplace_back(text.substr(start));
      return;
    }
    entries.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
}

namespace {

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

int FindEntryWithPrefix(const std::vector<std::string>& entries,
                        std::string_view prefix) {
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    if (entry.size() < prefix.size()) continue;
    size_t k = 0;
    while (k < prefix.size() && FoldCase(entry[k]) == FoldCase(prefix[k])) ++k;
    if (k == prefix.size()) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace pw
