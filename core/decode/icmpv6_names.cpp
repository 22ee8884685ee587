#include "decode/icmpv6_names.h"

#include <array>

#include "packet/ip_address.h"
#include "packet/ipv4_header.h"
#include "packet/ipv6_header.h"

namespace pw {

namespace {

constexpr uint8_t kDestinationUnreachable = 1;
constexpr uint8_t kPacketTooBig = 2;
constexpr uint8_t kTimeExceeded = 3;
constexpr uint8_t kParameterProblem = 4;
constexpr uint8_t kEchoRequest = 128;
constexpr uint8_t kEchoReply = 129;
constexpr uint8_t kListenerQuery = 130;
constexpr uint8_t kListenerReport = 131;
constexpr uint8_t kListenerDone = 132;
constexpr uint8_t kRouterSolicitation = 133;
constexpr uint8_t kRouterAdvertisement = 134;
constexpr uint8_t kNeighborSolicitation = 135;
constexpr uint8_t kNeighborAdvertisement = 136;
constexpr uint8_t kRedirect = 137;
constexpr uint8_t kListenerReportV2 = 143;

// Fields behind the four bytes of type, code and checksum.
constexpr size_t kBodyAt = 4;
constexpr size_t kTargetAt = 8;            // neighbour discovery, MLD
constexpr size_t kRedirectDestinationAt = 24;
constexpr size_t kRecordCountAt = 6;       // MLDv2 report
constexpr size_t kRecordsAt = 8;
constexpr size_t kRecordHeaderLength = 4;  // type, aux length, source count
constexpr size_t kRecordAddressAt = 4;
// A report's records can number thousands; the lines show the first ones.
constexpr unsigned kListenerRecordsShown = 16;

constexpr std::array<std::string_view, 9> kUnreachableCodes = {
    "no route to destination",
    "administratively prohibited",
    "beyond scope of source address",
    "address unreachable",
    "port unreachable",
    "source address failed ingress/egress policy",
    "reject route to destination",
    "error in source routing header",
    "headers too long",
};

constexpr std::array<std::string_view, 2> kTimeExceededCodes = {
    "hop limit exceeded in transit",
    "fragment reassembly time exceeded",
};

constexpr std::array<std::string_view, 4> kParameterProblemCodes = {
    "erroneous header field",
    "unrecognized next header",
    "unrecognized IPv6 option",
    "incomplete header chain in first fragment",
};

template <size_t N>
std::string_view CodeIn(const std::array<std::string_view, N>& names, uint8_t code) {
  return code < N ? names[code] : std::string_view("unknown");
}

int Len(std::string_view s) { return static_cast<int>(s.size()); }

void AppendAddressLine(ReportText& report, const char* name, const ByteView& d, size_t at) {
  report.append_format("%s = %s\r\n", name, FormatIpAddress(Ipv6Address(d, at)).text);
}

// The multicast address of each record of a version 2 report, after the
// count of records; at most kListenerRecordsShown of them. False when a
// record was not stored whole (the cut line ends the lines).
bool AppendListenerRecords(ReportText& report, const ByteView& d, HeaderCut& icmp) {
  const size_t m = icmp.start();
  const unsigned count = d.u16(m + kRecordCountAt);
  report.append_format("number of records = %u\r\n", count);
  size_t at = kRecordsAt;
  for (unsigned k = 0; k < count && k < kListenerRecordsShown; ++k) {
    icmp.set_needed(at + kRecordHeaderLength + kIpv6AddressLength);
    if (!icmp.has(at, kRecordHeaderLength + kIpv6AddressLength)) return false;
    AppendAddressLine(report, "multicast address", d, m + at + kRecordAddressAt);
    const size_t aux_words = d.u8(m + at + 1);
    const size_t sources = d.u16(m + at + 2);
    at += kRecordHeaderLength + kIpv6AddressLength + sources * kIpv6AddressLength +
          aux_words * 4;
  }
  return true;
}

}  // namespace

std::string_view Icmpv6TypeName(uint8_t type) {
  switch (type) {
    case kDestinationUnreachable: return "Destination Unreachable";
    case kPacketTooBig: return "Packet Too Big";
    case kTimeExceeded: return "Time Exceeded";
    case kParameterProblem: return "Parameter Problem";
    case kEchoRequest: return "Echo Request";
    case kEchoReply: return "Echo Reply";
    case kListenerQuery: return "Multicast Listener Query";
    case kListenerReport: return "Multicast Listener Report";
    case kListenerDone: return "Multicast Listener Done";
    case kRouterSolicitation: return "Router Solicitation";
    case kRouterAdvertisement: return "Router Advertisement";
    case kNeighborSolicitation: return "Neighbor Solicitation";
    case kNeighborAdvertisement: return "Neighbor Advertisement";
    case kRedirect: return "Redirect";
    case kListenerReportV2: return "Version 2 Multicast Listener Report";
    default: return "unknown";
  }
}

std::string_view Icmpv6CodeName(uint8_t type, uint8_t code) {
  switch (type) {
    case kDestinationUnreachable: return CodeIn(kUnreachableCodes, code);
    case kTimeExceeded: return CodeIn(kTimeExceededCodes, code);
    case kParameterProblem: return CodeIn(kParameterProblemCodes, code);
    default: return {};
  }
}

void AppendIcmpv6Lines(ReportText& report, const ByteView& d, size_t m, const ChecksumCover& cover) {
  HeaderCut icmp(report, d, "icmpv6", m, kBodyAt);
  if (!icmp.has(0, 1)) return;
  const uint8_t type = d.u8(m);
  const std::string_view type_name = Icmpv6TypeName(type);
  report.append_format("type = %.*s (%u)\r\n", Len(type_name), type_name.data(), unsigned{type});
  if (!icmp.has(1, 1)) return;
  const uint8_t code = d.u8(m + 1);
  const std::string_view code_name = Icmpv6CodeName(type, code);
  if (code_name.empty()) {
    report.append_format("code = %u\r\n", unsigned{code});
  } else {
    report.append_format("code = %.*s (%u)\r\n", Len(code_name), code_name.data(),
                         unsigned{code});
  }
  // How many bytes the message's own fields take.
  size_t fields = kBodyAt;
  switch (type) {
    case kEchoRequest:
    case kEchoReply:
    case kPacketTooBig:
    case kParameterProblem:
    case kListenerReportV2:
      fields = kTargetAt;
      break;
    case kNeighborSolicitation:
    case kNeighborAdvertisement:
    case kListenerQuery:
    case kListenerReport:
    case kListenerDone:
      fields = kTargetAt + kIpv6AddressLength;
      break;
    case kRedirect:
      fields = kRedirectDestinationAt + kIpv6AddressLength;
      break;
    default:
      break;
  }
  icmp.set_needed(fields);
  if (!icmp.has(0, fields)) return;
  switch (type) {
    case kEchoRequest:
    case kEchoReply:
      report.append_format("identifier = %u\r\n", unsigned{d.u16(m + kBodyAt)});
      report.append_format("sequence number = %u\r\n", unsigned{d.u16(m + kBodyAt + 2)});
      break;
    case kPacketTooBig:
      report.append_format("mtu = %u\r\n", static_cast<unsigned>(d.u32(m + kBodyAt)));
      break;
    case kParameterProblem:
      report.append_format("pointer = %u\r\n", static_cast<unsigned>(d.u32(m + kBodyAt)));
      break;
    case kNeighborSolicitation:
    case kNeighborAdvertisement:
      AppendAddressLine(report, "target address", d, m + kTargetAt);
      break;
    case kRedirect:
      AppendAddressLine(report, "target address", d, m + kTargetAt);
      AppendAddressLine(report, "destination address", d, m + kRedirectDestinationAt);
      break;
    case kListenerQuery:
    case kListenerReport:
    case kListenerDone:
      AppendAddressLine(report, "multicast address", d, m + kTargetAt);
      break;
    case kListenerReportV2:
      if (!AppendListenerRecords(report, d, icmp)) return;
      break;
    default:
      break;
  }
  if (!AppendFragmentVerdict(report, d, "icmpv6", m + 2, cover)) {
    AppendChecksumVerdict(report, d, "icmpv6", m + 2, m, cover.length,
                          PseudoHeaderSum(d, true, kProtoIcmpv6,
                                          cover.length > 0 ? static_cast<uint32_t>(cover.length) : 0));
  }
}

}  // namespace pw
