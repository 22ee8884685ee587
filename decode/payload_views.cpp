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

size_t CountNonZero(Bytes bytes) {
  return bytes.size() - static_cast<size_t>(std::count(bytes.begin(), bytes.end(), uint8_t{0}));
}

// What a view of `whole` characters may still use of the report below
// `limit`, keeping room for the cut line; 0 when nothing fits.
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

void AppendAsciiView(ReportText& report, Bytes payload, size_t limit) {
  report.append(kAsciiHeading);
  const size_t total = payload.size();
  const size_t whole = CountNonZero(payload) + 2 * (total / kAsciiPerLine) + kLineEnd.size();
  size_t shown = total;
  size_t cost = whole;
  if (report.size() + whole > limit) {
    // Whole lines only, as many as leave room for the cut line.
    const size_t budget = BudgetBeforeCut(report, limit);
    shown = 0;
    cost = 0;
    while (shown + kAsciiPerLine <= total) {
      const size_t line = CountNonZero(payload.subspan(shown, kAsciiPerLine)) + 2;
      if (cost + line > budget) break;
      cost += line;
      shown += kAsciiPerLine;
    }
  }
  if (cost > report.room()) return;  // cannot happen: limit <= the report's size
  char* const start = report.write_position();
  char* out = start;
  for (size_t i = 0; i < shown; ++i) {
    // A zero byte is written and then overwritten: it shows nothing.
    const uint8_t b = payload[i];
    *out = static_cast<char>(b);
    out += b != 0;
    if ((i + 1) % kAsciiPerLine == 0) {
      *out++ = '\r';
      *out++ = '\n';
    }
  }
  report.commit(static_cast<size_t>(out - start));
  EndView(report, shown, total);
}

void AppendTextView(ReportText& report, Bytes payload, size_t limit) {
  report.append(kTextHeading);
  const auto* zero = static_cast<const uint8_t*>(std::memchr(payload.data(), 0, payload.size()));
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
  // Each byte copies four characters of which three count; the line end
  // behind the last byte of a line or of the view takes the fourth.
  if (cost > report.room()) return;  // cannot happen: limit <= the report's size
  char* const start = report.write_position();
  char* out = start;
  for (size_t i = 0; i < shown; ++i) {
    std::memcpy(out, kHexTable[payload[i]].data(), 4);
    out += 3;
    if ((i + 1) % kHexPerLine == 0) {
      *out++ = '\r';
      *out++ = '\n';
    }
  }
  report.commit(static_cast<size_t>(out - start));
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
