#include "decode/tcp_flags.h"

#include <algorithm>
#include <array>

namespace pw {

namespace {

constexpr std::array<uint8_t, 13> kKnownFlags = {
    0x01, 0x02, 0x04, 0x08, 0x10, 0x11, 0x12, 0x14, 0x15, 0x18, 0x19, 0x20, 0xA2,
};

struct FlagName {
  const char* name;
  uint8_t bit;
};

constexpr std::array<FlagName, 6> kFlagLines = {{
    {"URG", 0x20}, {"ACK", 0x10}, {"PSH", 0x08}, {"RST", 0x04}, {"SYN", 0x02}, {"FIN", 0x01},
}};

constexpr uint8_t kMssOptionKind = 2;
constexpr size_t kTcpHeaderMin = 20;

}  // namespace

size_t TcpHeaderLength(const ByteView& datagram, size_t tcp_offset) {
  return static_cast<size_t>(datagram.u8(tcp_offset + 12) >> 4) * 4;
}

bool IsKnownTcpFlags(uint8_t flags) {
  return std::find(kKnownFlags.begin(), kKnownFlags.end(), flags) != kKnownFlags.end();
}

void AppendTcpFlagsAndMss(ReportText& report, const ByteView& datagram,
                          size_t tcp_offset) {
  const uint8_t flags = datagram.u8(tcp_offset + 13);
  if (IsKnownTcpFlags(flags)) {
    // For every known value the lines follow its six low bits (0xA2 shows
    // URG and SYN).
    for (const FlagName& line : kFlagLines) {
      report.append_format("%s = %s\r\n", line.name, flags & line.bit ? "True" : "False");
    }
  } else {
    report.append("invalid flags\r\n");
  }

  if (TcpHeaderLength(datagram, tcp_offset) > kTcpHeaderMin && datagram.u8(tcp_offset + 20) == kMssOptionKind) {
    report.append_format("MSS = %d\r\n", datagram.u16(tcp_offset + 22));
  }
}

}  // namespace pw
