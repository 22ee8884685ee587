#include "decode/report_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace pw {

bool ReportText::append(std::string_view text) {
  const size_t n = text.size() <= room() ? text.size() : room();
  if (n > 0) std::memcpy(text_ + size_, text.data(), n);  // an empty text may have no data
  size_ += n;
  return n == text.size();
}

bool ReportText::append_format(const char* format, ...) {
  char line[kReportLineBuffer];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return false;
  const size_t length = static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n)
                                                             : sizeof line - 1;
  return append({line, length}) && length == static_cast<size_t>(n);
}

void AppendHeaderLine(ReportText& report, uint32_t index, std::string_view word,
                      std::string_view tail) {
  report.append_format("\r\npacket%u %.*s%.*s\r\n", static_cast<unsigned>(index),
                       static_cast<int>(word.size()), word.data(), static_cast<int>(tail.size()),
                       tail.data());
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

}  // namespace pw
