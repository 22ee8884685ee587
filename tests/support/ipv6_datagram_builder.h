// Builds IPv6 datagrams for tests: the fixed header, a chain of extension
// headers, and a TCP, UDP or ICMPv6 header with zero payload bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "packet/ip_address.h"

namespace pw::test {

struct Ipv6Shape {
  uint8_t protocol = 17;  // the upper layer behind the extension headers
  const char* source = "2001:db8::1";
  const char* destination = "2001:db8::2";
  uint16_t source_port = 0;  // tcp and udp
  uint16_t destination_port = 0;
  uint8_t hop_limit = 64;
  // Extension headers in order: 0, 43, 60 (eight bytes each), 44 (fragment,
  // with the offset and flag below), 51 (authentication, twelve bytes).
  std::vector<uint8_t> extensions = {};
  uint16_t fragment_offset = 0;  // in bytes, a multiple of 8
  bool more_fragments = false;
  size_t payload_length = 0;  // bytes after the transport header
  uint8_t icmp_type = 128;    // icmp6 only
  int payload_length_field = -1;  // -1: the real payload length
};

inline void PutIpv6(std::vector<uint8_t>& d, size_t at, const char* text) {
  IpAddress a;
  ReadIpv6Text(text, a);
  for (size_t i = 0; i < 16; ++i) d[at + i] = a.byte(i);
}

inline size_t Ipv6ExtensionBytes(uint8_t type) {
  return type == 51 ? 16 : 8;
}

inline std::vector<uint8_t> MakeIpv6Datagram(const Ipv6Shape& s) {
  size_t transport = 0;
  if (s.protocol == 6) transport = 20;
  if (s.protocol == 17 || s.protocol == 58) transport = 8;
  size_t chain = 0;
  for (const uint8_t e : s.extensions) chain += Ipv6ExtensionBytes(e);
  std::vector<uint8_t> d(40 + chain + transport + s.payload_length, 0);
  d[0] = 0x60;
  const size_t payload =
      s.payload_length_field < 0 ? d.size() - 40 : size_t(s.payload_length_field);
  d[4] = static_cast<uint8_t>(payload >> 8);
  d[5] = static_cast<uint8_t>(payload);
  d[7] = s.hop_limit;
  PutIpv6(d, 8, s.source);
  PutIpv6(d, 24, s.destination);
  size_t next_at = 6;
  size_t at = 40;
  for (const uint8_t e : s.extensions) {
    d[next_at] = e;
    next_at = at;
    if (e == 44) {
      const unsigned field = s.fragment_offset | (s.more_fragments ? 1u : 0u);
      d[at + 2] = static_cast<uint8_t>(field >> 8);
      d[at + 3] = static_cast<uint8_t>(field);
      d[at + 7] = 0x2A;  // identification 42
    } else if (e == 51) {
      d[at + 1] = 2;  // (2 + 2) * 4 = 16 bytes
    }
    at += Ipv6ExtensionBytes(e);
  }
  d[next_at] = s.protocol;
  if (s.protocol == 6 || s.protocol == 17) {
    d[at] = static_cast<uint8_t>(s.source_port >> 8);
    d[at + 1] = static_cast<uint8_t>(s.source_port);
    d[at + 2] = static_cast<uint8_t>(s.destination_port >> 8);
    d[at + 3] = static_cast<uint8_t>(s.destination_port);
    if (s.protocol == 6) d[at + 12] = 0x50;
  }
  if (s.protocol == 58) d[at] = s.icmp_type;
  return d;
}

}  // namespace pw::test
