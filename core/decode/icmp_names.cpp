#include "decode/icmp_names.h"

#include <array>

#include "decode/report_fields.h"
#include "packet/ipv4_header.h"

namespace pw {

namespace {

constexpr std::array<std::string_view, 19> kTypeNames = {
    "Echo Reply",
    "ICMP Type 1",
    "ICMP Type 2",
    "Destination Unreachable",
    "Source Quench",
    "Redirect",
    "ICMP Type 6",
    "ICMP Type 7",
    "Echo Request",
    "Router Advertisement",
    "Router Solicitation",
    "Time Exceeded",
    "Parameter Problem",
    "Timestamp Request",
    "Timestamp Reply",
    "Information Request",
    "Information Reply",
    "Address Mask Request",
    "Address Mask Reply",
};

constexpr std::array<std::string_view, 16> kUnreachableCodes = {
    "Network unreachable",
    "Host unreachable",
    "Protocol unreachable",
    "Port unreachable",
    "Fragmentation needed, DF bit set",
    "Source route failed",
    "Destination network unknown",
    "Destination host unknown",
    "Source host isolated",
    "Dest. network admin. prohibited",
    "Dest. host admin. prohibited",
    "Network unreachable for TOS",
    "Host unreachable for TOS",
    "Communication admin. prohibited",
    "Host precedence violation",
    "Precedence cutoff in effect",
};

constexpr std::array<std::string_view, 4> kRedirectCodes = {
    "network",
    "host",
    "type-of-service and network",
    "type-of-service and host",
};

constexpr std::array<std::string_view, 2> kTimeExceededCodes = {
    "transit",
    "reassembly",
};

constexpr std::array<std::string_view, 2> kParameterProblemCodes = {
    "IP header bad",
    "Required option missing",
};

constexpr uint8_t kEchoReply = 0;
constexpr uint8_t kDestinationUnreachable = 3;
constexpr uint8_t kSourceQuench = 4;
constexpr uint8_t kRedirect = 5;
constexpr uint8_t kEchoRequest = 8;
constexpr uint8_t kTimeExceeded = 11;
constexpr uint8_t kParameterProblem = 12;
constexpr uint8_t kTimestampRequest = 13;
constexpr uint8_t kTimestampReply = 14;
constexpr uint8_t kFragmentationNeeded = 4;  // a code of destination unreachable

// Type, code, checksum and four bytes that each type uses its own way.
constexpr size_t kIcmpHeaderLength = 8;
// An error message carries the datagram that caused it from its byte 8 on:
// the IP header and the first 8 bytes behind it.
constexpr size_t kCarriedAt = 8;
constexpr size_t kCarriedTransport = 8;

template <size_t N>
std::string_view CodeIn(const std::array<std::string_view, N>& names, uint8_t code) {
  return code < N ? names[code] : std::string_view("incorrect code");
}

// The views handed to "%.*s".
int Len(std::string_view s) { return static_cast<int>(s.size()); }

}  // namespace

std::string_view IcmpTypeName(uint8_t type) {
  return type < kTypeNames.size() ? kTypeNames[type] : std::string_view("UNKNOWN");
}

std::string_view IcmpCodeName(uint8_t type, uint8_t code) {
  switch (type) {
    case kDestinationUnreachable: return CodeIn(kUnreachableCodes, code);
    case kRedirect: return CodeIn(kRedirectCodes, code);
    case kTimeExceeded: return CodeIn(kTimeExceededCodes, code);
    case kParameterProblem: return CodeIn(kParameterProblemCodes, code);
    default: return {};
  }
}

namespace {

// The datagram an error message carries from its byte 8 on: its protocol,
// addresses and, for tcp and udp, its ports; under the cut rule of the
// carried headers.
void AppendCarriedDatagram(ReportText& report, const ByteView& d, size_t m) {
  const size_t c = m + kCarriedAt;
  HeaderCut ip(report, d, "carried ip", c, kIpv4HeaderMin);
  if (!ip.has(0, 1)) return;
  const size_t length = Ipv4HeaderLength(d, c);
  if (length < kIpv4HeaderMin) {
    report.append("carried ip header length bad: under 20 bytes\r\n");
    return;
  }
  ip.set_needed(length);
  if (!ip.has(0, length)) return;
  const uint8_t protocol = d.u8(c + kIpv4ProtocolAt);
  report.append_format("carried protocol = %u\r\n", unsigned{protocol});
  report.append_format("carried source = %s\r\n", FormatDottedQuad(d.u32(c + kIpv4SourceAt)).text);
  report.append_format("carried destination = %s\r\n",
                       FormatDottedQuad(d.u32(c + kIpv4DestinationAt)).text);
  if ((protocol != kProtoTcp && protocol != kProtoUdp) || IsLaterFragment(d, c)) return;
  // RFC 792 carries the first 8 bytes of the transport header.
  HeaderCut ports(report, d, protocol == kProtoTcp ? "carried tcp" : "carried udp", c + length,
                  kCarriedTransport);
  if (!ports.has(0, 4)) return;
  report.append_format("carried source port = %u\r\n", unsigned{d.u16(c + length)});
  report.append_format("carried destination port = %u\r\n", unsigned{d.u16(c + length + 2)});
}

// The specified lines of destination unreachable: the code's name, then the
// carried datagram's addresses with the two bytes after its IP header as
// ports, whatever its protocol; under the cut rule.
bool AppendUnreachable(ReportText& report, const ByteView& d, size_t m, std::string_view code_name) {
  report.append_format("%.*s,\r\n", Len(code_name), code_name.data());
  const size_t c = m + kCarriedAt;
  HeaderCut ip(report, d, "carried ip", c, kIpv4HeaderMin);
  if (!ip.has(0, 1)) return false;
  const size_t length = Ipv4HeaderLength(d, c);
  if (length < kIpv4HeaderMin) {
    report.append("carried ip header length bad: under 20 bytes\r\n");
    return false;
  }
  ip.set_needed(length);
  if (!ip.has(0, length)) return false;
  HeaderCut ports(report, d, "carried transport", c + length, kCarriedTransport);
  if (!ports.has(0, 4)) return false;
  // The source address's text is its own, not a shared buffer's.
  const DottedQuadText source = FormatDottedQuad(d.u32(c + kIpv4SourceAt));
  const DottedQuadText destination = FormatDottedQuad(d.u32(c + kIpv4DestinationAt));
  report.append_format("source %s:%d\r\ndestination %s:%d\r\n", source.text, d.u16(c + length),
                       destination.text, d.u16(c + length + 2));
  return true;
}

bool IsErrorMessage(uint8_t type) {
  return type == kDestinationUnreachable || type == kSourceQuench || type == kRedirect ||
         type == kTimeExceeded || type == kParameterProblem;
}

}  // namespace

void AppendIcmpBlock(ReportText& report, const ByteView& datagram, size_t message_offset,
                     uint32_t index, const ChecksumCover& cover) {
  const ByteView& d = datagram;
  const size_t m = message_offset;
  AppendHeaderLine(report, index, ProtocolName(kProtoIcmp));
  HeaderCut icmp(report, d, "icmp", m, kIcmpHeaderLength);
  if (!icmp.has(0, 1)) return;
  const uint8_t type = d.u8(m);
  const std::string_view type_name = IcmpTypeName(type);
  report.append_format("%.*s (%d)\r\n", Len(type_name), type_name.data(), type);

  if (!IcmpCodeName(type, 0).empty() && !icmp.has(1, 1)) return;
  const uint8_t code = d.u8(m + 1);
  const std::string_view code_name = IcmpCodeName(type, code);
  switch (type) {
    case kDestinationUnreachable:
      if (!AppendUnreachable(report, d, m, code_name)) return;
      break;
    case kRedirect:
      report.append_format("redirect with %.*s\r\n", Len(code_name), code_name.data());
      break;
    case kTimeExceeded:
      report.append_format("TTL == 0 with %.*s\r\n", Len(code_name), code_name.data());
      break;
    case kParameterProblem:
      report.append_format("%.*s\r\n", Len(code_name), code_name.data());
      break;
    default:
      break;
  }

  if (!icmp.has(0, kIcmpHeaderLength)) return;
  switch (type) {
    case kEchoReply:
    case kEchoRequest:
    case kTimestampRequest:
    case kTimestampReply:
      report.append_format("identifier = %u\r\n", unsigned{d.u16(m + 4)});
      report.append_format("sequence number = %u\r\n", unsigned{d.u16(m + 6)});
      break;
    case kDestinationUnreachable:
      if (code == kFragmentationNeeded) {
        report.append_format("next-hop mtu = %u\r\n", unsigned{d.u16(m + 6)});
      }
      break;
    case kRedirect:
      report.append_format("gateway = %s\r\n", FormatDottedQuad(d.u32(m + 4)).text);
      break;
    case kParameterProblem:
      report.append_format("pointer = %u\r\n", unsigned{d.u8(m + 4)});
      break;
    default:
      break;
  }
  if (!AppendFragmentVerdict(report, d, "icmp", m + 2, cover)) {
    AppendChecksumVerdict(report, d, "icmp", m + 2, m, cover.length, 0);
  }
  if (IsErrorMessage(type)) AppendCarriedDatagram(report, d, m);
}

}  // namespace pw
