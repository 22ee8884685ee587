#include "decode/ipv6_lines.h"

#include "decode/report_fields.h"
#include "packet/ipv6_header.h"

namespace pw {

namespace {

// The views handed to "%.*s".
int Len(std::string_view s) { return static_cast<int>(s.size()); }

void AppendExtensionLines(ReportText& report, const ByteView& d, const Ipv6Extension& e) {
  const std::string_view name = Ipv6ExtensionName(e.type);
  const size_t at = e.offset;
  report.append_format("extension header = %.*s\r\n", Len(name), name.data());
  report.append_format("next header = %u\r\n", unsigned{e.next});
  report.append_format("header length = %u\r\n", static_cast<unsigned>(e.length));
  switch (e.type) {
    case kIpv6Routing:
      report.append_format("routing type = %u\r\n", unsigned{d.u8(at + 2)});
      report.append_format("segments left = %u\r\n", unsigned{d.u8(at + 3)});
      break;
    case kIpv6Fragment: {
      const uint16_t field = d.u16(at + 2);
      report.append_format("fragment offset = %u\r\n", static_cast<unsigned>(field & kIpv6FragmentOffsetMask));
      report.append_format("more fragments = %u\r\n", static_cast<unsigned>(field & kIpv6MoreFragments));
      report.append_format("identification = %u\r\n", static_cast<unsigned>(d.u32(at + 4)));
      break;
    }
    case kIpv6Authentication:
      report.append_format("security parameters index = %u\r\n",
                           static_cast<unsigned>(d.u32(at + 4)));
      report.append_format("sequence number = %u\r\n", static_cast<unsigned>(d.u32(at + 8)));
      break;
    default:
      break;
  }
}

}  // namespace

void AppendIpv6Lines(ReportText& report, const ByteView& d) {
  HeaderCut ip(report, d, "ipv6", 0, kIpv6HeaderLength);
  if (!ip.has(kIpv6VersionClassFlowAt, 4)) return;
  const uint32_t first = d.u32(kIpv6VersionClassFlowAt);
  report.append_format("version = %u\r\n", static_cast<unsigned>(first >> 28));
  report.append_format("traffic class = %u\r\n", static_cast<unsigned>(first >> 20 & 0xFF));
  report.append_format("flow label = %u\r\n", static_cast<unsigned>(first & 0xFFFFF));
  if (!ip.has(kIpv6PayloadLengthAt, 2)) return;
  report.append_format("payload length = %u\r\n", unsigned{d.u16(kIpv6PayloadLengthAt)});
  if (!ip.has(kIpv6NextHeaderAt, 1)) return;
  report.append_format("next header = %u\r\n", unsigned{d.u8(kIpv6NextHeaderAt)});
  if (!ip.has(kIpv6HopLimitAt, 1)) return;
  report.append_format("hop limit = %u\r\n", unsigned{d.u8(kIpv6HopLimitAt)});
  if (!ip.has(kIpv6SourceAt, kIpv6AddressLength)) return;
  report.append_format("source = %s\r\n", FormatIpAddress(Ipv6Address(d, kIpv6SourceAt)).text);
  if (!ip.has(kIpv6DestinationAt, kIpv6AddressLength)) return;
  report.append_format("destination = %s\r\n",
                       FormatIpAddress(Ipv6Address(d, kIpv6DestinationAt)).text);
  Ipv6HeaderWalk walk(d);
  Ipv6Extension extension{};
  size_t shown = 0;
  unsigned left_out = 0;
  while (walk.next(extension)) {
    if (shown < kIpv6ExtensionsShown) {
      AppendExtensionLines(report, d, extension);
      ++shown;
    } else {
      ++left_out;
    }
  }
  if (left_out != 0) {
    report.append_format("further extension headers not shown: %u\r\n", left_out);
  }
}

}  // namespace pw
