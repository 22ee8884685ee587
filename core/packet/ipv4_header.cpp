#include "packet/ipv4_header.h"

#include <array>
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

namespace {

// Row k + 1 of kStoredProtocols for each protocol number that datagrams of
// one family store; 0 for the others.
using StoredIndex = std::array<uint8_t, 256>;

constexpr StoredIndex MakeStoredIndex(bool StoredProtocol::*family) {
  StoredIndex index{};
  for (size_t k = 0; k < std::size(kStoredProtocols); ++k) {
    if (kStoredProtocols[k].*family) index[kStoredProtocols[k].number] = static_cast<uint8_t>(k + 1);
  }
  return index;
}

constexpr StoredIndex kStoredIpv4 = MakeStoredIndex(&StoredProtocol::ipv4);
constexpr StoredIndex kStoredIpv6 = MakeStoredIndex(&StoredProtocol::ipv6);

DatagramFacts ReadIpv6Facts(const ByteView& d) {
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

}  // namespace

const StoredProtocol* FindStoredProtocol(uint8_t protocol, IpFamily family) {
  const uint8_t k = (family == IpFamily::kV6 ? kStoredIpv6 : kStoredIpv4)[protocol];
  return k != 0 ? &kStoredProtocols[k - 1] : nullptr;
}

std::string_view ProtocolName(uint8_t protocol) {
  const StoredProtocol* p = FindStoredProtocol(protocol);
  return p != nullptr ? p->name : std::string_view{};
}

DatagramFacts ReadDatagramFacts(const uint8_t* bytes, size_t length) {
  // Fields past the received bytes read as 0.
  const ByteView d(bytes, length);
  if (IpVersion(d) == kIpVersion6) return ReadIpv6Facts(d);
  DatagramFacts facts;
  facts.protocol = d.u8(kIpv4ProtocolAt);
  facts.ttl = d.u8(kIpv4TtlAt);
  facts.family = IpFamily::kV4;
  facts.total_length = d.u16(kIpv4TotalLengthAt);
  facts.source = IpAddress::V4(d.u32(kIpv4SourceAt));
  facts.destination = IpAddress::V4(d.u32(kIpv4DestinationAt));
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
