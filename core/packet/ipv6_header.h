// The IPv6 header and its extension headers, as the filter, the list row
// and the details report read them (RFC 8200 lays them out).
//
// The upper layer of a datagram is found by walking the extension headers
// that this program knows: hop-by-hop options (0), routing (43), fragment
// (44), destination options (60) and authentication (51). Everything is
// read through a ByteView; nothing allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "packet/byte_view.h"
#include "packet/ip_address.h"

namespace pw {

// The fixed header; a receive shorter than this is no IPv6 datagram and is
// never stored.
inline constexpr size_t kIpv6HeaderLength = 40;
inline constexpr uint8_t kIpVersion6 = 6;

// Where each field of the fixed header lies, in bytes from its first byte.
inline constexpr size_t kIpv6VersionClassFlowAt = 0;  // 4, 8 and 20 bits
inline constexpr size_t kIpv6PayloadLengthAt = 4;
inline constexpr size_t kIpv6NextHeaderAt = 6;
inline constexpr size_t kIpv6HopLimitAt = 7;
inline constexpr size_t kIpv6SourceAt = 8;
inline constexpr size_t kIpv6DestinationAt = 24;
inline constexpr size_t kIpv6AddressLength = 16;

// Next-header values.
inline constexpr uint8_t kIpv6HopByHop = 0;
inline constexpr uint8_t kIpv6Routing = 43;
inline constexpr uint8_t kIpv6Fragment = 44;
inline constexpr uint8_t kIpv6Esp = 50;
inline constexpr uint8_t kIpv6Authentication = 51;
inline constexpr uint8_t kIpv6NoNextHeader = 59;
inline constexpr uint8_t kIpv6DestinationOptions = 60;

// The fragment header: next header, reserved, then 13 bits of offset in
// units of eight bytes, two reserved bits and the more-fragments flag, then
// the 32-bit identification.
inline constexpr size_t kIpv6FragmentHeaderLength = 8;
inline constexpr uint16_t kIpv6FragmentOffsetMask = 0xFFF8;
inline constexpr uint16_t kIpv6MoreFragments = 0x0001;

// The version field of the datagram at the start of `d`: 4 or 6 for the
// two families, anything else for bytes that are neither.
inline uint8_t IpVersion(const ByteView& d) { return static_cast<uint8_t>(d.u8(0) >> 4); }

inline IpAddress Ipv6Address(const ByteView& d, size_t at) {
  if (d.has(at, kIpv6AddressLength)) return Ipv6FromBytes(d.bytes(at, kIpv6AddressLength).data());
  uint8_t bytes[kIpv6AddressLength];
  for (size_t i = 0; i < kIpv6AddressLength; ++i) bytes[i] = d.u8(at + i);
  return Ipv6FromBytes(bytes);
}

// True for the five extension headers that the walk steps over.
bool IsIpv6ExtensionHeader(uint8_t next_header);

// One extension header of the chain.
struct Ipv6Extension {
  uint8_t type;    // its own next-header value: 0, 43, 44, 60 or 51
  size_t offset;   // its first byte in the datagram
  size_t length;   // in bytes
  uint8_t next;    // what follows it
};

// Steps along the chain of a datagram's headers, from the fixed header's
// next header on. Each call of next() yields one extension header that lies
// whole in the stored bytes. The walk ends at the first header that is no
// extension header (the upper layer), at a fragment header whose offset is
// not zero (what follows it is the middle of the original payload, not a
// header), or where an extension header runs past the stored bytes.
class Ipv6HeaderWalk {
 public:
  explicit Ipv6HeaderWalk(const ByteView& d);

  bool next(Ipv6Extension& extension);

  // Once next() has returned false:
  // the chain ends inside the stored bytes, at the upper layer;
  bool complete() const { return complete_; }
  // the upper layer's protocol number (after a later fragment: the
  // fragment header's next header) and where its header begins;
  uint8_t upper() const { return header_; }
  size_t upper_offset() const { return offset_; }
  // a fragment header with an offset other than zero came first.
  bool later_fragment() const { return later_fragment_; }

 private:
  const ByteView& d_;
  uint8_t header_;
  size_t offset_ = kIpv6HeaderLength;
  bool complete_ = false;
  bool later_fragment_ = false;
  bool ended_ = false;
};

// The name of an extension header in the details report ("hop-by-hop
// options", ...); empty for any other value.
std::string_view Ipv6ExtensionName(uint8_t type);

}  // namespace pw
