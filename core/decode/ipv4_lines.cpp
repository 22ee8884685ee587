#include "decode/ipv4_lines.h"

#include "decode/report_fields.h"
#include "packet/ipv4_header.h"

namespace pw {

namespace {

constexpr size_t kHeaderChecksumAt = 10;
constexpr uint8_t kOptionEnd = 0;
constexpr uint8_t kOptionNoOp = 1;
constexpr uint8_t kOptionRecordRoute = 7;
constexpr uint8_t kOptionTimestamp = 68;
constexpr uint8_t kOptionSecurity = 130;
constexpr uint8_t kOptionLooseRoute = 131;
constexpr uint8_t kOptionStrictRoute = 137;
constexpr uint8_t kOptionRouterAlert = 148;

void AppendAddress(ReportText& report, const char* name, uint32_t address) {
  report.append_format("%s = %s\r\n", name, FormatDottedQuad(address).text);
}

// The route options: a pointer, then addresses to the option's end.
void AppendRoute(ReportText& report, const ByteView& d, size_t at, size_t length) {
  report.append_format("route pointer = %u\r\n", unsigned{d.u8(at + 2)});
  for (size_t a = at + 3; a + 4 <= at + length; a += 4) {
    AppendAddress(report, "route address", d.u32(a));
  }
}

// The timestamp option: pointer, overflow and flag, then its timestamps,
// each after its address when the flag is 1 or 3.
void AppendTimestamps(ReportText& report, const ByteView& d, size_t at, size_t length) {
  const uint8_t flags = d.u8(at + 3);
  report.append_format("timestamp pointer = %u\r\n", unsigned{d.u8(at + 2)});
  report.append_format("timestamp overflow = %u\r\n", static_cast<unsigned>(flags >> 4));
  report.append_format("timestamp flag = %u\r\n", unsigned{flags & 0x0Fu});
  const bool with_address = (flags & 0x0F) == 1 || (flags & 0x0F) == 3;
  const size_t entry = with_address ? 8 : 4;
  for (size_t a = at + 4; a + entry <= at + length; a += entry) {
    if (with_address) AppendAddress(report, "timestamp address", d.u32(a));
    report.append_format("timestamp = %u\r\n", static_cast<unsigned>(d.u32(a + entry - 4)));
  }
}

const char* OptionName(uint8_t kind) {
  switch (kind) {
    case kOptionRecordRoute: return "record route";
    case kOptionTimestamp: return "timestamp";
    case kOptionSecurity: return "security";
    case kOptionLooseRoute: return "loose source route";
    case kOptionStrictRoute: return "strict source route";
    case kOptionRouterAlert: return "router alert";
    default: return nullptr;
  }
}

// The options from byte 20 to the header's end (`end`), as far as they
// were stored.
void AppendOptions(ReportText& report, const ByteView& d, HeaderCut& ip, size_t end) {
  size_t at = kIpv4HeaderMin;
  while (at < end) {
    if (!ip.has(at, 1)) return;
    const uint8_t kind = d.u8(at);
    if (kind == kOptionEnd) {
      report.append("ip option = end of options list\r\n");
      return;
    }
    if (kind == kOptionNoOp) {
      report.append("ip option = no-op\r\n");
      ++at;
      continue;
    }
    if (at + 1 < end && !ip.has(at + 1, 1)) return;
    const size_t length = at + 1 < end ? d.u8(at + 1) : 0;
    if (length < 2 || length > end - at) {
      report.append_format("ip options malformed: option %u, length %u\r\n", unsigned{kind},
                           static_cast<unsigned>(length));
      return;
    }
    if (!ip.has(at, length)) return;
    const char* name = OptionName(kind);
    if (name == nullptr) {
      report.append_format("ip option = option %u, length %u\r\n", unsigned{kind},
                           static_cast<unsigned>(length));
    } else {
      report.append_format("ip option = %s\r\n", name);
    }
    switch (kind) {
      case kOptionRecordRoute:
      case kOptionLooseRoute:
      case kOptionStrictRoute:
        if (length >= 3) AppendRoute(report, d, at, length);
        break;
      case kOptionTimestamp:
        if (length >= 4) AppendTimestamps(report, d, at, length);
        break;
      case kOptionRouterAlert:
        if (length == 4) report.append_format("router alert = %u\r\n", unsigned{d.u16(at + 2)});
        break;
      case kOptionSecurity:
        if (length >= 3) {
          report.append_format("security classification level = 0x%02x\r\n",
                               unsigned{d.u8(at + 2)});
        }
        break;
      default:
        break;
    }
    at += length;
  }
}

}  // namespace

void AppendIpv4Lines(ReportText& report, const ByteView& d) {
  HeaderCut ip(report, d, "ip", 0, kIpv4HeaderMin);
  if (!ip.has(0, 1)) return;
  const size_t length = Ipv4HeaderLength(d);
  report.append_format("version = %u\r\n", unsigned{Ipv4Version(d)});
  report.append_format("header length = %u\r\n", static_cast<unsigned>(length));
  if (length < kIpv4HeaderMin) {
    report.append("ip header length bad: under 20 bytes\r\n");
    return;
  }
  ip.set_needed(length);
  if (!ip.has(1, 1)) return;
  report.append_format("dscp = %u\r\n", static_cast<unsigned>(d.u8(1) >> 2));
  report.append_format("ecn = %u\r\n", unsigned{d.u8(1) & 3u});
  if (!ip.has(kIpv4TotalLengthAt, 2)) return;
  report.append_format("total length = %u\r\n", unsigned{d.u16(kIpv4TotalLengthAt)});
  if (!ip.has(4, 2)) return;
  report.append_format("identification = 0x%04x (%u)\r\n", unsigned{d.u16(4)},
                       unsigned{d.u16(4)});
  if (!ip.has(kIpv4FragmentAt, 2)) return;
  const unsigned fragment = d.u16(kIpv4FragmentAt);
  report.append_format("don't fragment = %u\r\n", fragment >> 14 & 1u);
  report.append_format("more fragments = %u\r\n", fragment >> 13 & 1u);
  report.append_format("fragment offset = %u\r\n", static_cast<unsigned>(Ipv4FragmentOffset(d)));
  if (!ip.has(kIpv4TtlAt, 1)) return;
  report.append_format("time to live = %u\r\n", unsigned{d.u8(kIpv4TtlAt)});
  if (!ip.has(kIpv4ProtocolAt, 1)) return;
  report.append_format("protocol = %u\r\n", unsigned{d.u8(kIpv4ProtocolAt)});
  if (!ip.has(kHeaderChecksumAt, 2)) return;
  AppendChecksumVerdict(report, d, "ip header", kHeaderChecksumAt, 0,
                        static_cast<int64_t>(length), 0);
  if (!ip.has(kIpv4SourceAt, 4)) return;
  AppendAddress(report, "source", d.u32(kIpv4SourceAt));
  if (!ip.has(kIpv4DestinationAt, 4)) return;
  AppendAddress(report, "destination", d.u32(kIpv4DestinationAt));
  AppendOptions(report, d, ip, length);
}

}  // namespace pw
