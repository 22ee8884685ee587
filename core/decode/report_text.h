// The text of one details report and its cutting into list entries.
//
// The report is built as one text of at most kReportCapacity - 1 characters
// (the details list's text buffer with its terminating zero), lines ending in
// "\r\n", and then cut into the entries of the details list. Nothing is ever
// written past the buffer: an append that does not fit is shortened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#if defined(__GNUC__) || defined(__clang__)
#define PW_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define PW_PRINTF_LIKE(fmt, args)
#endif

namespace pw {

// The report buffer, including its terminating zero.
inline constexpr size_t kReportCapacity = 40960;
// Longest line one formatted append produces, including its zero.
inline constexpr size_t kReportLineBuffer = 1024;

class ReportText {
 public:
  static constexpr size_t kMaxSize = kReportCapacity - 1;

  // Leaves the buffer uninitialised: only the first size() characters count.
  ReportText() {}

  std::string_view view() const { return {text_, size_}; }
  // Empties the text for the next report.
  void clear() { size_ = 0; }
  size_t size() const { return size_; }
  // Characters that may still be added.
  size_t room() const { return kMaxSize - size_; }

  // Append as much of the text as fits; false when something was left out.
  bool append(std::string_view text);
  // Formats one piece (at most kReportLineBuffer - 1 characters) and appends
  // it as append does.
  bool append_format(const char* format, ...) PW_PRINTF_LIKE(2, 3);

  // Direct writing for the payload views, which know their exact size in
  // advance: the caller writes at most room() characters at write_position()
  // and then commits how many it wrote.
  char* write_position() { return text_ + size_; }
  void commit(size_t written) { size_ += written <= room() ? written : room(); }

 private:
  size_t size_ = 0;
  char text_[kReportCapacity];
};

// The empty line and the header line that every protocol block of a report
// begins with: "packet<N> <word>", then `tail` (the udp header line ends in
// a blank), then the line end.
void AppendHeaderLine(ReportText& report, uint32_t index, std::string_view word,
                      std::string_view tail = {});

// Cuts a report into list entries, from the start:
//  1. in the rest of the text find the first carriage return; only when the
//     rest holds none, find the first line feed instead;
//  2. the entry is the text before it; the next entry starts behind it, and
//     one line feed directly behind a carriage return is skipped as well;
//  3. every entry is added, an empty one too;
//  4. the piece behind the last line end is the last entry (empty when the
//     text ends with a line end).
// A line feed before a later carriage return therefore stays in its entry.
// `entries` is emptied first.
void CutIntoEntries(std::string_view text, std::vector<std::string>& entries);

}  // namespace pw
