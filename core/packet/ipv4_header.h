// Facts of an IP datagram that the filter, the list row and the details
// report share: the protocols a capture stores and their names, the header
// fields the row shows (of an IPv4 or an IPv6 datagram), and dotted-decimal
// address texts.
//
// Everything here is a pure function of the datagram's bytes; nothing
// allocates and nothing uses a locale.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "packet/byte_view.h"
#include "packet/ip_address.h"

namespace pw {

// The loopback address as the interface list and the bind-address choice
// spell it.
inline constexpr std::string_view kLoopbackText = "127.0.0.1";

// A receive shorter than this is no IPv4 datagram and is never stored.
inline constexpr size_t kIpv4HeaderMin = 20;

// The IPv4 header's layout: where each field lies, in bytes from the
// header's first byte. Every reader of an IPv4 header (the filter and row,
// the link layers, the details report, the datagram an ICMP error carries)
// reads it through a ByteView with these offsets and the accessors below.
inline constexpr size_t kIpv4VersionAndLengthAt = 0;  // version, header length
inline constexpr size_t kIpv4TotalLengthAt = 2;
inline constexpr size_t kIpv4FragmentAt = 6;  // three flags, fragment offset
inline constexpr size_t kIpv4TtlAt = 8;
inline constexpr size_t kIpv4ProtocolAt = 9;
inline constexpr size_t kIpv4SourceAt = 12;
inline constexpr size_t kIpv4DestinationAt = 16;
inline constexpr uint8_t kIpVersion4 = 4;

inline constexpr uint8_t kProtoIcmp = 1;
inline constexpr uint8_t kProtoIgmp = 2;
inline constexpr uint8_t kProtoTcp = 6;
inline constexpr uint8_t kProtoUdp = 17;
inline constexpr uint8_t kProtoRaw = 255;
inline constexpr uint8_t kProtoIcmpv6 = 58;

// The fragment field: three flag bits and the fragment offset in units of
// eight bytes. A datagram whose offset is not zero is a later fragment: its
// bytes after the IP header are the middle or end of the original payload,
// with no transport header in front of them.
inline constexpr uint16_t kFragmentOffsetMask = 0x1FFF;
inline constexpr uint32_t kFragmentOffsetUnit = 8;

// The header of the IPv4 datagram that starts at `ip` in `d`.
inline uint8_t Ipv4Version(const ByteView& d, size_t ip = 0) {
  return static_cast<uint8_t>(d.u8(ip + kIpv4VersionAndLengthAt) >> 4);
}
// The header length field times four: the header's length in bytes.
inline size_t Ipv4HeaderLength(const ByteView& d, size_t ip = 0) {
  return size_t{d.u8(ip + kIpv4VersionAndLengthAt) & 0x0Fu} * 4;
}
// The fragment offset, in bytes.
inline uint32_t Ipv4FragmentOffset(const ByteView& d, size_t ip = 0) {
  return (d.u16(ip + kIpv4FragmentAt) & kFragmentOffsetMask) * kFragmentOffsetUnit;
}
inline bool IsLaterFragment(const ByteView& d, size_t ip = 0) {
  return Ipv4FragmentOffset(d, ip) != 0;
}

// Which of the five stored protocols a capture takes.
struct ProtocolSwitches {
  bool tcp;
  bool udp;
  bool icmp;
  bool igmp;
  bool raw;
};

// The protocols a capture can store, each with the name that rows, reports
// and the command line use. The first five rows are the five switches, in
// the order they are offered; ICMPv6 is stored under the icmp switch.
struct StoredProtocol {
  uint8_t number;
  std::string_view name;
  bool ProtocolSwitches::*switched_on;
  bool has_ports;     // tcp and udp: the port rule applies, the row shows ports
  bool ipv4;          // stored from an IPv4 datagram
  bool ipv6;          // stored from an IPv6 datagram
  bool names_switch;  // its name names its switch (-p, the boxes)
};

inline constexpr StoredProtocol kStoredProtocols[] = {
    {kProtoTcp, "tcp", &ProtocolSwitches::tcp, true, true, true, true},
    {kProtoUdp, "udp", &ProtocolSwitches::udp, true, true, true, true},
    {kProtoIcmp, "icmp", &ProtocolSwitches::icmp, false, true, false, true},
    {kProtoIgmp, "igmp", &ProtocolSwitches::igmp, false, true, false, true},
    {kProtoRaw, "raw", &ProtocolSwitches::raw, false, true, true, true},
    {kProtoIcmpv6, "icmp6", &ProtocolSwitches::icmp, false, false, true, false},
};

// The entry of `protocol` in kStoredProtocols, or null for any other.
const StoredProtocol* FindStoredProtocol(uint8_t protocol);

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

inline constexpr StoredIndex kStoredIpv4 = MakeStoredIndex(&StoredProtocol::ipv4);
inline constexpr StoredIndex kStoredIpv6 = MakeStoredIndex(&StoredProtocol::ipv6);

// The entry of `protocol` when datagrams of `family` store it, or null.
// Inline: the capture thread asks it for every datagram.
inline const StoredProtocol* FindStoredProtocol(uint8_t protocol, IpFamily family) {
  const uint8_t k = (family == IpFamily::kV6 ? kStoredIpv6 : kStoredIpv4)[protocol];
  return k != 0 ? &kStoredProtocols[k - 1] : nullptr;
}

// "tcp", "udp", "icmp", "igmp", "raw", "icmp6"; empty for any other
// protocol.
std::string_view ProtocolName(uint8_t protocol);

// The values of a datagram that the filter and the row use.
struct DatagramFacts {
  // IPv4: the header's protocol. IPv6: the upper layer that the walk over
  // the extension headers found, or kIpv6NoNextHeader (never stored) for a
  // datagram shorter than its fixed header or whose chain runs past the
  // stored bytes.
  uint8_t protocol;
  uint8_t ttl;            // IPv6: the hop limit
  IpFamily family;        // kV6 for version 6, kV4 for every other version
  uint32_t total_length;  // IPv4: the header's field; IPv6: 40 + payload length
  IpAddress source;
  IpAddress destination;
  uint16_t source_port;   // tcp and udp only, first fragments only; 0 otherwise
  uint16_t destination_port;
};

// The facts of an IPv6 datagram (version 6) of `length` received bytes.
DatagramFacts ReadIpv6Facts(const uint8_t* bytes, size_t length);

// Reads the facts of a datagram of `length` received bytes: an IPv6
// datagram when its version field is 6, an IPv4 one otherwise. Bytes beyond
// the received length read as 0: a datagram shorter than 20 bytes, or a
// tcp/udp datagram whose bytes end before header length + 4, gets zeros for
// what is missing rather than bytes of an earlier receive. A later fragment
// has no ports: they are 0 rather than two bytes of payload. Inline: the
// capture thread reads them for every datagram.
inline DatagramFacts ReadIpv4Facts(const ByteView& d) {
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
  if ((facts.protocol == kProtoTcp || facts.protocol == kProtoUdp) &&
      d.size() >= kIpv4HeaderMin && !IsLaterFragment(d)) {
    const size_t ports = Ipv4HeaderLength(d);
    facts.source_port = d.u16(ports);
    facts.destination_port = d.u16(ports + 2);
  }
  return facts;
}

inline DatagramFacts ReadDatagramFacts(const uint8_t* bytes, size_t length) {
  // Fields past the received bytes read as 0.
  const ByteView d(bytes, length);
  if ((d.u8(kIpv4VersionAndLengthAt) >> 4) == 6) return ReadIpv6Facts(bytes, length);
  // The capture loop passes datagrams of a whole fixed header: on that
  // branch the compiler knows every fixed field to be stored and drops
  // their bounds checks.
  return length >= kIpv4HeaderMin ? ReadIpv4Facts(d) : ReadIpv4Facts(d);
}

// Parses an address written exactly as a datagram's address is printed:
// four decimal numbers 0 to 255 without leading zeros, separated by single
// points, nothing before or after. False for every other text (a host name,
// "010.0.0.1", " 10.0.0.1", "10.1", ""). The address is in wire order,
// first byte highest.
bool ParseDottedQuad(std::string_view text, uint32_t& address);

// "a.b.c.d" of an address in wire order.
struct DottedQuadText {
  char text[16];
  std::string_view view() const { return text; }
};
DottedQuadText FormatDottedQuad(uint32_t address);

}  // namespace pw
