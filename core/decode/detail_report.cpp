#include "decode/detail_report.h"

#include <memory>

#include "decode/icmp_names.h"
#include "decode/icmpv6_names.h"
#include "decode/ipv6_lines.h"
#include "decode/tcp_flags.h"
#include "packet/ipv4_header.h"
#include "packet/ipv6_header.h"

namespace pw {

namespace {

constexpr size_t kUdpHeaderLength = 8;

// Where the network layer puts the transport header, and whether the
// datagram is a later fragment (with its offset in the original payload).
struct NetworkLayer {
  bool ipv6;
  size_t transport;
  bool later_fragment;
  uint32_t fragment_offset;  // in bytes
};

// An IPv4 datagram's fragment field is read only when `fragments_matter`
// (a protocol whose later fragments have a block of their own), so that no
// other report reads past the bytes of a short datagram for it.
NetworkLayer ReadNetworkLayer(const ByteView& d, bool fragments_matter) {
  if (IpVersion(d) != kIpVersion6) {
    if (!fragments_matter) return {false, Ipv4HeaderLength(d), false, 0};
    return {false, Ipv4HeaderLength(d), IsLaterFragment(d), Ipv4FragmentOffset(d)};
  }
  NetworkLayer net{true, kIpv6HeaderLength, false, 0};
  Ipv6HeaderWalk walk(d);
  Ipv6Extension extension{};
  while (walk.next(extension)) {
    if (extension.type == kIpv6Fragment) {
      net.fragment_offset = d.u16(extension.offset + 2) & kIpv6FragmentOffsetMask;
    }
  }
  net.transport = walk.upper_offset();
  net.later_fragment = walk.later_fragment();
  return net;
}

// The lines of the network layer, after the transport lines and before the
// payload part: the IPv6 header and its extension headers. An IPv4
// datagram has none.
void AppendNetworkLines(ReportText& report, const ByteView& d, const NetworkLayer& net) {
  if (net.ipv6) AppendIpv6Lines(report, d);
}

// Stored bytes from `offset` to the end; negative when the headers claim
// more than was stored.
int64_t BytesFrom(const ByteView& d, size_t offset) {
  return static_cast<int64_t>(d.size()) - static_cast<int64_t>(offset);
}

void AppendTcpBlock(ReportText& report, const ByteView& d, const NetworkLayer& net,
                    uint32_t index, const PayloadViewFlags& flags) {
  const size_t t = net.transport;
  AppendHeaderLine(report, index, ProtocolName(kProtoTcp));
  report.append_format("sourse port = %d\r\n", d.u16(t));
  report.append_format("destination port = %d\r\n", d.u16(t + 2));
  report.append_format("checksum = %d\r\n", d.u16(t + 16));
  // The acknowledgement number comes before the sequence number.
  report.append_format("acknowledgement number = %u\r\n", static_cast<unsigned>(d.u32(t + 8)));
  report.append_format("sequence number = %u\r\n", static_cast<unsigned>(d.u32(t + 4)));
  report.append_format("window size = %d\r\n", d.u16(t + 14));
  AppendTcpFlagsAndMss(report, d, t);
  AppendNetworkLines(report, d, net);
  const size_t payload_offset = t + TcpHeaderLength(d, t);
  AppendPayloadPart(report, d, payload_offset, BytesFrom(d, payload_offset), PayloadKind::kTcp,
                    flags);
}

void AppendUdpBlock(ReportText& report, const ByteView& d, const NetworkLayer& net,
                    uint32_t index, const PayloadViewFlags& flags) {
  const size_t u = net.transport;
  // The header line and the two port lines end in a blank; the checksum
  // line does not.
  AppendHeaderLine(report, index, ProtocolName(kProtoUdp), " ");
  report.append_format("sourse port = %d \r\n", d.u16(u));
  report.append_format("destination port = %d \r\n", d.u16(u + 2));
  report.append_format("checksum = %d\r\n", d.u16(u + 6));
  AppendNetworkLines(report, d, net);
  const size_t payload_offset = u + kUdpHeaderLength;
  AppendPayloadPart(report, d, payload_offset, BytesFrom(d, payload_offset), PayloadKind::kUdp,
                    flags);
}

// A later fragment carries the middle or end of its datagram's payload and
// no transport header: the block is the protocol's header line, the
// fragment's offset in the original payload, and for tcp and udp the
// payload part over every byte behind the IP header (an IPv6 datagram's
// behind its fragment header).
void AppendFragmentBlock(ReportText& report, const ByteView& d, const NetworkLayer& net,
                         uint8_t protocol, uint32_t index, const PayloadViewFlags& flags) {
  const size_t h = net.transport;
  AppendHeaderLine(report, index, ProtocolName(protocol), protocol == kProtoUdp ? " " : "");
  report.append_format("fragment offset = %u\r\n", static_cast<unsigned>(net.fragment_offset));
  AppendNetworkLines(report, d, net);
  if (protocol == kProtoTcp || protocol == kProtoUdp) {
    AppendPayloadPart(report, d, h, BytesFrom(d, h),
                      protocol == kProtoTcp ? PayloadKind::kTcp : PayloadKind::kUdp, flags);
  }
}

void AppendIgmpBlock(ReportText& report, const ByteView& d, size_t g, uint32_t index) {
  const uint8_t first = d.u8(g);
  AppendHeaderLine(report, index, ProtocolName(kProtoIgmp));
  report.append_format("version = %d\r\n", first >> 4);
  report.append_format("type = %d\r\n", first & 0x0F);
  report.append_format("cheksum = %d\r\n", d.u16(g + 2));
  report.append_format("group adddress = %s\r\n", FormatDottedQuad(d.u32(g + 4)).text);
}

}  // namespace

void BuildReportText(const ByteView& datagram, uint8_t protocol, uint32_t index,
                     const PayloadViewFlags& flags, ReportText& report) {
  report.append("packets source:\r\n");
  // The transport header follows the IP header (and an IPv6 datagram's
  // extension headers); where it begins is all that the transport blocks
  // take from the network layer. The dispatch goes by the protocol entry
  // the capture stored, not by the header's field.
  const bool fragments_matter = protocol != kProtoRaw && FindStoredProtocol(protocol) != nullptr;
  const NetworkLayer net = ReadNetworkLayer(datagram, fragments_matter);
  if (fragments_matter && net.later_fragment) {
    AppendFragmentBlock(report, datagram, net, protocol, index, flags);
    return;
  }
  switch (protocol) {
    case kProtoTcp: AppendTcpBlock(report, datagram, net, index, flags); break;
    case kProtoUdp: AppendUdpBlock(report, datagram, net, index, flags); break;
    case kProtoIcmp:
      AppendIcmpBlock(report, datagram, net.transport, index);
      AppendNetworkLines(report, datagram, net);
      break;
    case kProtoIgmp:
      AppendIgmpBlock(report, datagram, net.transport, index);
      AppendNetworkLines(report, datagram, net);
      break;
    case kProtoIcmpv6:
      AppendHeaderLine(report, index, ProtocolName(kProtoIcmpv6));
      AppendNetworkLines(report, datagram, net);
      AppendIcmpv6Lines(report, datagram, net.transport);
      break;
    case kProtoRaw:
      AppendHeaderLine(report, index, ProtocolName(kProtoRaw));
      AppendNetworkLines(report, datagram, net);
      break;
    default: AppendHeaderLine(report, index, "unknown"); break;
  }
}

void BuildDetailReport(const uint8_t* bytes, size_t length, uint8_t protocol,
                       uint32_t index, const PayloadViewFlags& flags,
                       DetailReport& report) {
  const ByteView datagram(bytes, length);
  // 40 KiB: on the heap, so that the UI thread's stack is not burdened.
  const auto text = std::make_unique<ReportText>();
  BuildReportText(datagram, protocol, index, flags, *text);
  CutIntoEntries(text->view(), report.entries);
  report.fields_past_end = datagram.past_end();
}

DecodeResult DecodePacket(const CaptureStore& store, uint32_t index,
                          const PayloadViewFlags& flags, DetailReport& report) {
  report = DetailReport{};
  DatagramLocation where{};
  if (!LocateDatagram(store, index, where)) return DecodeResult::kNotStored;
  BuildDetailReport(store.byte_pool + where.offset, where.length, where.protocol, index,
                    flags, report);
  return DecodeResult::kReport;
}

}  // namespace pw
