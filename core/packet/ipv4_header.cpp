#include "packet/ipv4_header.h"

#include <cstdio>
#include <cstring>

#include "text/decimal.h"

namespace pw {

const StoredProtocol* FindStoredProtocol(uint8_t protocol) {
  for (const StoredProtocol& p : kStoredProtocols) {
    if (p.number == protocol) return &p;
  }
  return nullptr;
}

std::string_view ProtocolName(uint8_t protocol) {
  const StoredProtocol* p = FindStoredProtocol(protocol);
  return p != nullptr ? p->name : std::string_view{};
}

DatagramFacts ReadDatagramFacts(const uint8_t* bytes, size_t length) {
  // Fields past the received bytes read as 0.
  const ByteView d(bytes, length);
  DatagramFacts facts;
  facts.protocol = d.u8(kIpv4ProtocolAt);
  facts.ttl = d.u8(kIpv4TtlAt);
  facts.total_length = d.u16(kIpv4TotalLengthAt);
  facts.source = d.u32(kIpv4SourceAt);
  facts.destination = d.u32(kIpv4DestinationAt);
  facts.source_port = 0;
  facts.destination_port = 0;
  // A receive shorter than a header (the capture loop drops these) has no
  // ports, nor has a later fragment.
  if ((facts.protocol == kProtoTcp || facts.protocol == kProtoUdp) && length >= kIpv4HeaderMin &&
      !IsLaterFragment(d)) {
    const size_t ports = Ipv4HeaderLength(d);
    facts.source_port = d.u16(ports);
    facts.destination_port = d.u16(ports + 2);
  }
  return facts;
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
