#include "decode/icmp_names.h"

#include <array>

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

constexpr uint8_t kDestinationUnreachable = 3;
constexpr uint8_t kRedirect = 5;
constexpr uint8_t kTimeExceeded = 11;
constexpr uint8_t kParameterProblem = 12;

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

void AppendIcmpBlock(ReportText& report, const ByteView& datagram,
                     size_t message_offset, uint32_t index) {
  const size_t m = message_offset;
  const uint8_t type = datagram.u8(m);
  const std::string_view type_name = IcmpTypeName(type);
  AppendHeaderLine(report, index, ProtocolName(kProtoIcmp));
  report.append_format("%.*s (%d)\r\n", Len(type_name), type_name.data(), type);

  const uint8_t code = datagram.u8(m + 1);
  const std::string_view code_name = IcmpCodeName(type, code);
  switch (type) {
    case kDestinationUnreachable: {
      // The message carries the IP header of the datagram that caused it
      // from its byte 8 on, followed by the start of that datagram's
      // transport header, whose first four bytes are read as ports.
      const size_t carried = m + 8;
      const DottedQuadText source = FormatDottedQuad(datagram.u32(carried + kIpv4SourceAt));
      const DottedQuadText destination =
          FormatDottedQuad(datagram.u32(carried + kIpv4DestinationAt));
      const size_t ports = carried + Ipv4HeaderLength(datagram, carried);
      report.append_format("%.*s,\r\nsource %s:%d\r\ndestination %s:%d\r\n",
                          Len(code_name), code_name.data(), source.text,
                          datagram.u16(ports), destination.text, datagram.u16(ports + 2));
      break;
    }
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
}

}  // namespace pw
