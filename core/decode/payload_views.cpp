#include "decode/payload_views.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string_view>

namespace pw {

namespace {

using Bytes = std::span<const uint8_t>;

constexpr std::string_view kAsciiHeading = "data in ASCII view:\r\n";
constexpr std::string_view kTextHeading = "data in a text view:\r\n";
constexpr std::string_view kHexHeading = "data in HEX view:\r\n";
constexpr std::string_view kLineEnd = "\r\n";

constexpr size_t kAsciiPerLine = 64;
constexpr size_t kHexPerLine = 32;
constexpr size_t kHexLineSize = kHexPerLine * 3 + 2;
// The cut line with the longest number it can hold.
constexpr size_t kCutLineMax =
    sizeof "rest of data cut: -9223372036854775808 bytes not shown\r\n" - 1;

// "%2.2x " of every byte value, padded to four characters so that a byte is
// one fixed-size copy.
constexpr std::array<std::array<char, 4>, 256> MakeHexTable() {
  constexpr char kDigits[] = "0123456789abcdef";
  std::array<std::array<char, 4>, 256> table{};
  for (size_t v = 0; v < 256; ++v) table[v] = {kDigits[v >> 4], kDigits[v & 15], ' ', ' '};
  return table;
}
constexpr auto kHexTable = MakeHexTable();

// The payload is read one whole line at a time into a local array, and the
// per-byte work runs over that array: a fixed number of bytes at fixed
// places, which the compiler turns into straight-line or vector code.
template <size_t kPerLine>
using Line = std::array<uint8_t, kPerLine>;

// Up to one line of `bytes` from `at`; the rest of the line is zero.
template <size_t kPerLine>
Line<kPerLine> ReadLine(Bytes bytes, size_t at) {
  Line<kPerLine> line{};
  const size_t count = std::min(kPerLine, bytes.size() - at);
  if (count > 0) std::memcpy(line.data(), bytes.data() + at, count);
  return line;
}

// 1 for every byte value but 0.
constexpr size_t IsNonZero(uint8_t b) { return (b + 255u) >> 8; }

// The bytes of an ASCII line that are not zero, eight at a time: the top bit
// of each byte of ((w & 0x7f..) + 0x7f..) | w is set exactly when that byte
// of w is not zero (no carry crosses a byte), and the multiplication adds
// those bits up in the top byte.
size_t NonZeroInLine(const Line<kAsciiPerLine>& line) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  std::array<uint64_t, kAsciiPerLine / 8> words;
  std::memcpy(words.data(), line.data(), sizeof words);
  size_t count = 0;
  for (const uint64_t w : words) {
    const uint64_t tops = (((w & kLow7) + kLow7) | w) & ~kLow7;
    count += static_cast<size_t>((tops >> 7) * kOnes >> 56);
  }
  return count;
}

// Writes one line of the ASCII view. A zero byte shows nothing (nor do the
// zeros that fill up a short last line), so a line of zero bytes writes
// nothing and a line without one is one copy; otherwise each byte is written
// and the position moves on behind every byte but a zero byte, which the
// next one overwrites.
char* WriteAscii(char* out, const Line<kAsciiPerLine>& line) {
  const size_t shown = NonZeroInLine(line);
  if (shown == 0) return out;
  if (shown == kAsciiPerLine) {
    std::memcpy(out, line.data(), kAsciiPerLine);
    return out + kAsciiPerLine;
  }
  for (const uint8_t b : line) {
    *out = static_cast<char>(b);
    out += IsNonZero(b);
  }
  return out;
}

// Writes one line of the hex view: each byte copies four characters of
// which three count; the next byte, or the line end behind the last one,
// takes the fourth.
char* WriteHex(char* out, const Line<kHexPerLine>& line) {
  for (const uint8_t b : line) {
    std::memcpy(out, kHexTable[b].data(), 4);
    out += 3;
  }
  return out;
}

// Writes `bytes` as kPerLine bytes to a line, each whole line followed by a
// line end; `write(out, line)` writes the characters of one whole line, at
// most kCharsPerByte for each byte and one more that the next write may
// overwrite, and returns where they end. A last, shorter line is filled up
// with zero bytes and written to the side, and the characters of its own
// bytes are kept.
template <size_t kPerLine, size_t kCharsPerByte, typename WriteLine>
char* WriteLines(char* out, Bytes bytes, WriteLine write) {
  size_t at = 0;
  for (; at + kPerLine <= bytes.size(); at += kPerLine) {
    out = write(out, ReadLine<kPerLine>(bytes, at));
    *out++ = '\r';
    *out++ = '\n';
  }
  if (at == bytes.size()) return out;
  std::array<char, kPerLine * kCharsPerByte + 1> last;
  const char* const end = write(last.data(), ReadLine<kPerLine>(bytes, at));
  const size_t written = static_cast<size_t>(end - last.data());
  const size_t kept = std::min(written, (bytes.size() - at) * kCharsPerByte);
  std::memcpy(out, last.data(), kept);
  return out + kept;
}

// What a view may still use of the report below `limit`, keeping room for
// the cut line; 0 when nothing fits.
size_t BudgetBeforeCut(const ReportText& report, size_t limit) {
  const size_t used = report.size() + kCutLineMax;
  return limit > used ? limit - used : 0;
}

void EndView(ReportText& report, size_t shown, size_t total) {
  if (shown == total) {
    report.append(kLineEnd);
  } else {
    report.append_format(kViewCutFormat, static_cast<long long>(total - shown));
  }
}

// How many payload bytes a view shows and the characters they take.
struct ViewPlan {
  size_t shown = 0;
  size_t cost = 0;
};

// The ASCII view shows the whole payload when all of it, its last line end
// included, fits in `room`; otherwise the whole lines that fit in `budget`.
// The lines are counted only until the view cannot fit any more.
ViewPlan PlanAsciiView(Bytes payload, size_t room, size_t budget) {
  ViewPlan cut;
  size_t cost = 0;
  size_t at = 0;
  for (; at + kAsciiPerLine <= payload.size(); at += kAsciiPerLine) {
    cost += NonZeroInLine(ReadLine<kAsciiPerLine>(payload, at)) + kLineEnd.size();
    if (cost <= budget) cut = {at + kAsciiPerLine, cost};
    if (cost > room) return cut;
  }
  cost += NonZeroInLine(ReadLine<kAsciiPerLine>(payload, at)) + kLineEnd.size();
  return cost <= room ? ViewPlan{payload.size(), cost} : cut;
}

void AppendAsciiView(ReportText& report, Bytes payload, size_t limit) {
  report.append(kAsciiHeading);
  const size_t room = limit > report.size() ? limit - report.size() : 0;
  const ViewPlan plan = PlanAsciiView(payload, room, BudgetBeforeCut(report, limit));
  if (plan.cost > report.room()) return;  // cannot happen: limit <= the report's size
  char* const start = report.write_position();
  char* const end = WriteLines<kAsciiPerLine, 1>(start, payload.first(plan.shown), WriteAscii);
  report.commit(static_cast<size_t>(end - start));
  EndView(report, plan.shown, payload.size());
}

void AppendTextView(ReportText& report, Bytes payload, size_t limit) {
  report.append(kTextHeading);
  // No bytes (the payload lies past the stored ones) have no data to search.
  const auto* zero = payload.empty() ? nullptr
                                     : static_cast<const uint8_t*>(
                                           std::memchr(payload.data(), 0, payload.size()));
  const size_t total = zero ? static_cast<size_t>(zero - payload.data()) : payload.size();
  const auto* text = reinterpret_cast<const char*>(payload.data());
  if (report.size() + total + kLineEnd.size() <= limit) {
    report.append({text, total});
    report.append(kLineEnd);
    return;
  }
  // Cut behind the last carriage return that fits, where an entry ends
  // anyway (with the line feed behind it, if that fits too); without one,
  // where the room ends, and end the line there.
  const size_t budget = BudgetBeforeCut(report, limit);
  const size_t fit = std::min(total, budget > kLineEnd.size() ? budget - kLineEnd.size() : 0);
  const std::string_view fitting(text, fit);
  size_t shown = fit;
  bool ends_entry = false;
  const size_t cr = fitting.rfind('\r');
  if (cr != std::string_view::npos) {
    shown = cr + 1;
    if (shown < fit && fitting[shown] == '\n') ++shown;
    ends_entry = true;
  }
  report.append(fitting.substr(0, shown));
  if (!ends_entry) report.append(kLineEnd);
  report.append_format(kViewCutFormat, static_cast<long long>(total - shown));
}

void AppendHexView(ReportText& report, Bytes payload, size_t limit) {
  report.append(kHexHeading);
  const size_t total = payload.size();
  const size_t whole = 3 * total + 2 * (total / kHexPerLine) + kLineEnd.size();
  size_t shown = total;
  size_t cost = whole;
  if (report.size() + whole > limit) {
    const size_t lines = BudgetBeforeCut(report, limit) / kHexLineSize;
    shown = std::min(total, lines * kHexPerLine);
    cost = lines * kHexLineSize;
  }
  if (cost > report.room()) return;  // cannot happen: limit <= the report's size
  char* const start = report.write_position();
  char* const end = WriteLines<kHexPerLine, 3>(start, payload.first(shown), WriteHex);
  report.commit(static_cast<size_t>(end - start));
  EndView(report, shown, total);
}

enum class View { kAscii, kText, kHex };

}  // namespace

void AppendPayloadPart(ReportText& report, const ByteView& datagram,
                       size_t payload_offset, int64_t payload_length,
                       PayloadKind kind, const PayloadViewFlags& flags) {
  if (payload_length == 0) return;
  report.append_format("data length = %lld\r\n", static_cast<long long>(payload_length));
  // A datagram shorter than its headers: the negative length is all there
  // is to show.
  if (payload_length < 0) return;

  View views[2];
  size_t count = 0;
  if (kind == PayloadKind::kUdp) {
    views[count++] = View::kAscii;
    views[count++] = View::kHex;
  } else {
    if (flags.tcp_ascii) {
      views[count++] = View::kAscii;
    } else if (flags.tcp_text) {
      views[count++] = View::kText;
    }
    if (flags.tcp_hex) views[count++] = View::kHex;
  }

  const Bytes payload = datagram.bytes(payload_offset, static_cast<size_t>(payload_length));
  for (size_t i = 0; i < count; ++i) {
    const bool another_follows = i + 1 < count;
    const size_t limit = another_follows ? report.size() + report.room() / 2
                                         : ReportText::kMaxSize;
    switch (views[i]) {
      case View::kAscii: AppendAsciiView(report, payload, limit); break;
      case View::kText: AppendTextView(report, payload, limit); break;
      case View::kHex: AppendHexView(report, payload, limit); break;
    }
  }
}

}  // namespace pw
