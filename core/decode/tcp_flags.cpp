#include "decode/tcp_flags.h"

#include <algorithm>
#include <array>

#include "packet/ipv4_header.h"

namespace pw {

namespace {

constexpr std::array<uint8_t, 13> kKnownFlags = {
    0x01, 0x02, 0x04, 0x08, 0x10, 0x11, 0x12, 0x14, 0x15, 0x18, 0x19, 0x20, 0xA2,
};

struct FlagName {
  const char* name;
  uint16_t bit;
};

constexpr std::array<FlagName, 6> kFlagLines = {{
    {"URG", 0x20}, {"ACK", 0x10}, {"PSH", 0x08}, {"RST", 0x04}, {"SYN", 0x02}, {"FIN", 0x01},
}};

// The 12 flag bits, lowest first: the order the flags line names them in.
constexpr std::array<FlagName, 9> kFlagBits = {{
    {"FIN", 0x001}, {"SYN", 0x002}, {"RST", 0x004}, {"PSH", 0x008}, {"ACK", 0x010},
    {"URG", 0x020}, {"ECE", 0x040}, {"CWR", 0x080}, {"AE", 0x100},
}};

constexpr uint8_t kOptionEnd = 0;
constexpr uint8_t kOptionNoOp = 1;
constexpr uint8_t kMssOptionKind = 2;
constexpr uint8_t kWindowScale = 3;
constexpr uint8_t kSackPermitted = 4;
constexpr uint8_t kSack = 5;
constexpr uint8_t kTimestamps = 8;
constexpr size_t kTcpHeaderMin = 20;
// The largest shift a window scale takes; a larger one counts as 14.
constexpr unsigned kWindowShiftMax = 14;

void AppendFlagsLine(ReportText& report, unsigned flags) {
  char names[64];
  size_t n = 0;
  for (const FlagName& f : kFlagBits) {
    if ((flags & f.bit) == 0) continue;
    for (const char* c = n == 0 ? "" : ", "; *c != 0; ++c) names[n++] = *c;
    for (const char* c = f.name; *c != 0; ++c) names[n++] = *c;
  }
  if (n == 0) {
    report.append_format("flags = 0x%03x\r\n", flags);
  } else {
    report.append_format("flags = 0x%03x (%.*s)\r\n", flags, static_cast<int>(n), names);
  }
}

// The length a known option must have (a SACK option: 2 and whole blocks);
// 0 for an option of any length.
bool LengthFits(uint8_t kind, size_t length) {
  switch (kind) {
    case kMssOptionKind: return length == 4;
    case kWindowScale: return length == 3;
    case kSackPermitted: return length == 2;
    case kSack: return length > 2 && (length - 2) % 8 == 0;
    case kTimestamps: return length == 10;
    default: return true;
  }
}

// The options from byte 20 of the header to `end`, under the cut rule.
void AppendOptions(ReportText& report, const ByteView& d, HeaderCut& tcp, size_t end) {
  const size_t t = tcp.start();
  size_t at = kTcpHeaderMin;
  while (at < end) {
    if (!tcp.has(at, 1)) return;
    const uint8_t kind = d.u8(t + at);
    if (kind == kOptionEnd) {
      report.append("option = end of options list\r\n");
      return;
    }
    if (kind == kOptionNoOp) {
      report.append("option = no-op\r\n");
      ++at;
      continue;
    }
    if (at + 1 < end && !tcp.has(at + 1, 1)) return;
    const size_t length = at + 1 < end ? d.u8(t + at + 1) : 0;
    if (length < 2 || length > end - at || !LengthFits(kind, length)) {
      report.append_format("tcp options malformed: option %u, length %u\r\n", unsigned{kind},
                           static_cast<unsigned>(length));
      return;
    }
    if (!tcp.has(at, length)) return;
    const size_t o = t + at;
    switch (kind) {
      case kMssOptionKind:
        report.append_format("option mss = %u\r\n", unsigned{d.u16(o + 2)});
        break;
      case kWindowScale: {
        const unsigned shift = d.u8(o + 2);
        report.append_format("option window scale = %u (multiply by %u)\r\n", shift,
                             1u << std::min(shift, kWindowShiftMax));
        break;
      }
      case kSackPermitted:
        report.append("option = sack permitted\r\n");
        break;
      case kSack:
        for (size_t b = o + 2; b < o + length; b += 8) {
          report.append_format("option sack left edge = %u\r\n", static_cast<unsigned>(d.u32(b)));
          report.append_format("option sack right edge = %u\r\n",
                               static_cast<unsigned>(d.u32(b + 4)));
        }
        break;
      case kTimestamps:
        report.append_format("option timestamp value = %u\r\n", static_cast<unsigned>(d.u32(o + 2)));
        report.append_format("option timestamp echo reply = %u\r\n",
                             static_cast<unsigned>(d.u32(o + 6)));
        break;
      default:
        report.append_format("option %u, length %u\r\n", unsigned{kind},
                             static_cast<unsigned>(length));
        break;
    }
    at += length;
  }
}

}  // namespace

size_t TcpHeaderLength(const ByteView& datagram, size_t tcp_offset) {
  return static_cast<size_t>(datagram.u8(tcp_offset + 12) >> 4) * 4;
}

bool IsKnownTcpFlags(uint8_t flags) {
  return std::find(kKnownFlags.begin(), kKnownFlags.end(), flags) != kKnownFlags.end();
}

void AppendTcpFlagsAndMss(ReportText& report, const ByteView& datagram, HeaderCut& tcp) {
  const size_t t = tcp.start();
  if (!tcp.has(13, 1)) return;
  const uint8_t flags = datagram.u8(t + 13);
  if (IsKnownTcpFlags(flags)) {
    // For every known value the lines follow its six low bits (0xA2 shows
    // URG and SYN).
    for (const FlagName& line : kFlagLines) {
      report.append_format("%s = %s\r\n", line.name, flags & line.bit ? "True" : "False");
    }
  } else {
    report.append("invalid flags\r\n");
  }

  const size_t length = TcpHeaderLength(datagram, t);
  if (length > kTcpHeaderMin) tcp.set_needed(length);
  if (length > kTcpHeaderMin && tcp.has(20, 1) &&
      datagram.u8(t + 20) == kMssOptionKind && tcp.has(22, 2)) {
    report.append_format("MSS = %d\r\n", datagram.u16(t + 22));
  }
}

bool AppendTcpLines(ReportText& report, const ByteView& d, HeaderCut& tcp) {
  const size_t t = tcp.start();
  if (!tcp.has(12, 2)) return false;
  AppendFlagsLine(report, d.u16(t + 12) & 0x1FFu);
  const size_t length = TcpHeaderLength(d, t);
  report.append_format("header length = %u\r\n", static_cast<unsigned>(length));
  if (length < kTcpHeaderMin) {
    report.append("tcp header length bad: under 20 bytes\r\n");
    return false;
  }
  if (!tcp.has(18, 2)) return false;
  report.append_format("urgent pointer = %u\r\n", unsigned{d.u16(t + 18)});
  AppendOptions(report, d, tcp, length);
  return !tcp.cut();
}

}  // namespace pw
