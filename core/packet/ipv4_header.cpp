#include "packet/ipv4_header.h"

#include <cstdio>
#include <cstring>

#include "packet/ipv6_header.h"
#include "text/decimal.h"

namespace pw {

const StoredProtocol* FindStoredProtocol(uint8_t protocol) {
  for (const StoredProtocol& p : kStoredProtocols) {
    if (p.number == protocol) return &p;
  }
  return nullptr;
}

DatagramFacts ReadIpv6Facts(const uint8_t* bytes, size_t length) {
  const ByteView d(bytes, length);
  DatagramFacts facts;
  facts.family = IpFamily::kV6;
  facts.ttl = d.u8(kIpv6HopLimitAt);
  facts.total_length = kIpv6HeaderLength + d.u16(kIpv6PayloadLengthAt);
  facts.source = Ipv6Address(d, kIpv6SourceAt);
  facts.destination = Ipv6Address(d, kIpv6DestinationAt);
  facts.source_port = 0;
  facts.destination_port = 0;
  facts.protocol = kIpv6NoNextHeader;
  if (d.size() < kIpv6HeaderLength) return facts;
  Ipv6HeaderWalk walk(d);
  Ipv6Extension extension{};
  while (walk.next(extension)) {
  }
  if (!walk.complete()) return facts;
  facts.protocol = walk.upper();
  if ((facts.protocol == kProtoTcp || facts.protocol == kProtoUdp) && !walk.later_fragment()) {
    facts.source_port = d.u16(walk.upper_offset());
    facts.destination_port = d.u16(walk.upper_offset() + 2);
  }
  return facts;
}

std::string_view ProtocolName(uint8_t protocol) {
  const StoredProtocol* p = FindStoredProtocol(protocol);
  return p != nullptr ? p->name : std::string_view{};
}

bool ParseDottedQuad(std::string_view text, uint32_t& address) {
  uint32_t value = 0;
  size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
    const DecimalDigits number = ReadDecimalDigits(text.substr(i));
    if (number.count == 0 || number.value > 255) return false;
    if (number.count > 1 && text[i] == '0') return false;  // leading zero
    value = value << 8 | static_cast<uint32_t>(number.value);
    i += number.count;
  }
  if (i != text.size()) return false;
  address = value;
  return true;
}

DottedQuadText FormatDottedQuad(uint32_t address) {
  DottedQuadText out;
  std::snprintf(out.text, sizeof out.text, "%u.%u.%u.%u", address >> 24,
                address >> 16 & 0xFF, address >> 8 & 0xFF, address & 0xFF);
  return out;
}

}  // namespace pw
