#include "decode/detail_report.h"

#include <memory>

#include "decode/icmp_names.h"
#include "decode/icmpv6_names.h"
#include "decode/igmp_lines.h"
#include "decode/ipv4_lines.h"
#include "decode/ipv6_lines.h"
#include "decode/report_fields.h"
#include "decode/tcp_flags.h"
#include "packet/ipv4_header.h"
#include "packet/ipv6_header.h"

namespace pw {

namespace {

constexpr size_t kUdpHeaderLength = 8;
constexpr size_t kTcpHeaderMin = 20;
constexpr size_t kIgmpHeaderLength = 8;
constexpr uint16_t kIpv4MoreFragments = 0x2000;

// Where the network layer puts the transport header, whether the datagram
// is a later fragment (with its offset in the original payload), and what a
// transport checksum covers.
struct NetworkLayer {
  bool ipv6;
  size_t transport;
  bool later_fragment;
  uint32_t fragment_offset;  // in bytes
  // An IPv4 header length under 20 bytes: no transport header can be found.
  bool bad_header_length;
  ChecksumCover cover;
};

// An IPv4 datagram's fragment field is read only when `fragments_matter`
// (a protocol whose later fragments have a block of their own), so that no
// other report reads past the bytes of a short datagram for it.
NetworkLayer ReadNetworkLayer(const ByteView& d, bool fragments_matter) {
  if (IpVersion(d) != kIpVersion6) {
    const size_t h = Ipv4HeaderLength(d);
    NetworkLayer net{false, h, false, 0, h < kIpv4HeaderMin, {false, 0, false}};
    if (!fragments_matter) return net;
    net.later_fragment = IsLaterFragment(d);
    net.fragment_offset = Ipv4FragmentOffset(d);
    net.cover.fragment = (d.u16(kIpv4FragmentAt) & kIpv4MoreFragments) != 0 || net.later_fragment;
    net.cover.length = int64_t{d.u16(kIpv4TotalLengthAt)} - static_cast<int64_t>(h);
    return net;
  }
  NetworkLayer net{true, kIpv6HeaderLength, false, 0, false, {true, 0, false}};
  Ipv6HeaderWalk walk(d);
  Ipv6Extension extension{};
  while (walk.next(extension)) {
    if (extension.type == kIpv6Fragment) {
      net.fragment_offset = d.u16(extension.offset + 2) & kIpv6FragmentOffsetMask;
      net.cover.fragment = true;
    }
  }
  net.transport = walk.upper_offset();
  net.later_fragment = walk.later_fragment();
  net.cover.length = static_cast<int64_t>(kIpv6HeaderLength + d.u16(kIpv6PayloadLengthAt)) -
                     static_cast<int64_t>(net.transport);
  return net;
}

// The lines of the network layer, after the transport lines and before the
// payload part: the IPv4 header, or the IPv6 header and its extension
// headers.
void AppendNetworkLines(ReportText& report, const ByteView& d, const NetworkLayer& net) {
  if (net.ipv6) {
    AppendIpv6Lines(report, d);
  } else {
    AppendIpv4Lines(report, d);
  }
}

// The upper layer's length for a pseudo-header (0 when the length fields
// leave it none; the verdict then says so).
uint32_t CoveredLength(const NetworkLayer& net) {
  return net.cover.length > 0 ? static_cast<uint32_t>(net.cover.length) : 0;
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
  HeaderCut tcp(report, d, "tcp", t, kTcpHeaderMin);
  if (tcp.has(0, 2)) report.append_format("sourse port = %d\r\n", d.u16(t));
  if (tcp.has(2, 2)) report.append_format("destination port = %d\r\n", d.u16(t + 2));
  if (tcp.has(16, 2)) report.append_format("checksum = %d\r\n", d.u16(t + 16));
  // The acknowledgement number comes before the sequence number.
  if (tcp.has(8, 4)) {
    report.append_format("acknowledgement number = %u\r\n", static_cast<unsigned>(d.u32(t + 8)));
  }
  if (tcp.has(4, 4)) {
    report.append_format("sequence number = %u\r\n", static_cast<unsigned>(d.u32(t + 4)));
  }
  if (tcp.has(14, 2)) report.append_format("window size = %d\r\n", d.u16(t + 14));
  AppendTcpFlagsAndMss(report, d, tcp);
  if (AppendTcpLines(report, d, tcp) && !AppendFragmentVerdict(report, d, "tcp", t + 16, net.cover)) {
    AppendChecksumVerdict(report, d, "tcp", t + 16, t, net.cover.length,
                          PseudoHeaderSum(d, net.ipv6, kProtoTcp, CoveredLength(net)));
  }
  AppendNetworkLines(report, d, net);
  // The payload part follows a cut header too: its data length, negative
  // then, is what the stored bytes fall short by (by the shortest header
  // when the data offset itself was not stored).
  const size_t payload_offset =
      t + (d.has(t + 12, 1) ? TcpHeaderLength(d, t) : kTcpHeaderMin);
  AppendPayloadPart(report, d, payload_offset, BytesFrom(d, payload_offset), PayloadKind::kTcp,
                    flags);
}

void AppendUdpVerdict(ReportText& report, const ByteView& d, const NetworkLayer& net) {
  const size_t u = net.transport;
  const unsigned field = d.u16(u + 6);
  if (field == 0 && !net.ipv6) {
    report.append("udp checksum = 0x0000 (none)\r\n");
    return;
  }
  if (AppendFragmentVerdict(report, d, "udp", u + 6, net.cover)) return;
  const uint16_t length = d.u16(u + 4);
  if (length < kUdpHeaderLength || length > net.cover.length) {
    report.append_format("udp checksum = 0x%04x (cannot be checked, udp length %u bad)\r\n",
                         field, unsigned{length});
    return;
  }
  AppendChecksumVerdict(report, d, "udp", u + 6, u, length,
                        PseudoHeaderSum(d, net.ipv6, kProtoUdp, length), true);
}

void AppendUdpBlock(ReportText& report, const ByteView& d, const NetworkLayer& net,
                    uint32_t index, const PayloadViewFlags& flags) {
  const size_t u = net.transport;
  // The header line and the two port lines end in a blank; the checksum
  // line does not.
  AppendHeaderLine(report, index, ProtocolName(kProtoUdp), " ");
  HeaderCut udp(report, d, "udp", u, kUdpHeaderLength);
  if (udp.has(0, 2)) report.append_format("sourse port = %d \r\n", d.u16(u));
  if (udp.has(2, 2)) report.append_format("destination port = %d \r\n", d.u16(u + 2));
  if (udp.has(6, 2)) report.append_format("checksum = %d\r\n", d.u16(u + 6));
  if (udp.has(4, 2)) {
    report.append_format("length = %u\r\n", unsigned{d.u16(u + 4)});
    AppendUdpVerdict(report, d, net);
  }
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

void AppendIgmpBlock(ReportText& report, const ByteView& d, const NetworkLayer& net,
                     uint32_t index) {
  const size_t g = net.transport;
  AppendHeaderLine(report, index, ProtocolName(kProtoIgmp));
  HeaderCut igmp(report, d, "igmp", g, kIgmpHeaderLength);
  if (igmp.has(0, 1)) {
    const uint8_t first = d.u8(g);
    report.append_format("version = %d\r\n", first >> 4);
    report.append_format("type = %d\r\n", first & 0x0F);
  }
  if (igmp.has(2, 2)) report.append_format("cheksum = %d\r\n", d.u16(g + 2));
  if (igmp.has(4, 4)) {
    report.append_format("group adddress = %s\r\n", FormatDottedQuad(d.u32(g + 4)).text);
  }
  if (!igmp.cut()) AppendIgmpLines(report, d, igmp, net.cover);
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
  if (net.bad_header_length && fragments_matter) {
    // An IPv4 header length under 20 bytes: there is no telling where the
    // transport header begins.
    const std::string_view name = ProtocolName(protocol);
    AppendHeaderLine(report, index, name, protocol == kProtoUdp ? " " : "");
    report.append_format("%.*s header not decoded: ip header length under 20 bytes\r\n",
                         TextLength(name), name.data());
    AppendNetworkLines(report, datagram, net);
    return;
  }
  if (fragments_matter && net.later_fragment) {
    AppendFragmentBlock(report, datagram, net, protocol, index, flags);
    return;
  }
  switch (protocol) {
    case kProtoTcp: AppendTcpBlock(report, datagram, net, index, flags); break;
    case kProtoUdp: AppendUdpBlock(report, datagram, net, index, flags); break;
    case kProtoIcmp:
      AppendIcmpBlock(report, datagram, net.transport, index, net.cover);
      AppendNetworkLines(report, datagram, net);
      break;
    case kProtoIgmp:
      AppendIgmpBlock(report, datagram, net, index);
      AppendNetworkLines(report, datagram, net);
      break;
    case kProtoIcmpv6:
      AppendHeaderLine(report, index, ProtocolName(kProtoIcmpv6));
      AppendNetworkLines(report, datagram, net);
      AppendIcmpv6Lines(report, datagram, net.transport, net.cover);
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
