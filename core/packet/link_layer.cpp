#include "packet/link_layer.h"

#include "packet/byte_order.h"
#include "packet/ipv4_header.h"
#include "packet/ipv6_header.h"

namespace pw {

namespace {

// Ethernet II framing: two 6-byte hardware addresses, then the 2-byte type
// of what follows (an EtherType, as IEEE registers them).
constexpr size_t kEthernetTypeOffset = 12;
constexpr size_t kEtherTypeLength = 2;
constexpr uint16_t kEtherTypeIpv4 = 0x0800;
constexpr uint16_t kEtherTypeIpv6 = 0x86DD;
// VLAN tags between the addresses and the type: each is its own 2-byte
// EtherType and a 2-byte tag control field, then the type again.
constexpr uint16_t kEtherTypeVlan = 0x8100;         // IEEE 802.1Q
constexpr uint16_t kEtherTypeServiceVlan = 0x88A8;  // IEEE 802.1ad, outer tag of two
// The outer tag of two as some switches wrote it before 802.1ad.
constexpr uint16_t kEtherTypeOldQinQ = 0x9100;
constexpr size_t kVlanTagLength = 4;
constexpr size_t kMaxVlanTags = 2;

// Linux cooked capture, as libpcap writes it. Version 1: packet type,
// hardware type and address length (2 bytes each), 8 address bytes, then
// the 2-byte EtherType of the payload. Version 2: the EtherType first, 2
// reserved bytes, a 4-byte interface index, hardware type (2), packet type
// and address length (1 each), 8 address bytes.
constexpr size_t kSllProtocolOffset = 14;
constexpr size_t kSllHeaderLength = 16;
constexpr size_t kSll2ProtocolOffset = 0;
constexpr size_t kSll2HeaderLength = 20;

// BSD loopback headers: the 4-byte address family of the payload. AF_INET
// is 2 on every system whose captures are read here (the BSDs, Linux,
// macOS, Windows); AF_INET6 differs: 24 (NetBSD, OpenBSD), 28 (FreeBSD,
// DragonFly), 30 (macOS). DLT_NULL writes it in the capturing machine's
// byte order, DLT_LOOP in network order.
constexpr size_t kLoopbackHeaderLength = 4;
constexpr uint8_t kFamilyIpv4 = 2;
constexpr uint8_t kFamiliesIpv6[] = {24, 28, 30};

// Which IP version the link header announces.
enum class Announced { kIpv4, kIpv6, kEither, kNone };

Announced OfEtherType(uint16_t type) {
  if (type == kEtherTypeIpv4) return Announced::kIpv4;
  if (type == kEtherTypeIpv6) return Announced::kIpv6;
  return Announced::kNone;
}

bool IsVlanTag(uint16_t ether_type) {
  return ether_type == kEtherTypeVlan || ether_type == kEtherTypeServiceVlan ||
         ether_type == kEtherTypeOldQinQ;
}

Announced EthernetOffset(const uint8_t* f, size_t n, size_t& offset) {
  size_t type_at = kEthernetTypeOffset;
  for (size_t tags = 0;; ++tags) {
    if (n < type_at + kEtherTypeLength) return Announced::kNone;
    const uint16_t type = Be16(f + type_at);
    if (!IsVlanTag(type)) {
      offset = type_at + kEtherTypeLength;
      return OfEtherType(type);
    }
    if (tags == kMaxVlanTags) return Announced::kNone;
    type_at += kVlanTagLength;
  }
}

// The family of a loopback header: `family` in network order, or with
// `either_order` in little-endian order too.
bool IsFamily(const uint8_t* f, uint8_t family, bool either_order) {
  const bool network_order = f[0] == 0 && f[1] == 0 && f[2] == 0 && f[3] == family;
  const bool little_endian = f[0] == family && f[1] == 0 && f[2] == 0 && f[3] == 0;
  return network_order || (either_order && little_endian);
}

Announced OfLoopbackFamily(const uint8_t* f, bool either_order) {
  if (IsFamily(f, kFamilyIpv4, either_order)) return Announced::kIpv4;
  for (const uint8_t family : kFamiliesIpv6) {
    if (IsFamily(f, family, either_order)) return Announced::kIpv6;
  }
  return Announced::kNone;
}

// Offset of the network header behind the link header, and which IP
// version the link announces there (kNone: the frame carries no IP).
Announced NetworkOffset(int link_type, const uint8_t* f, size_t n, size_t& offset) {
  switch (link_type) {
    case kLinkEthernet:
      return EthernetOffset(f, n, offset);
    case kLinkLinuxSll:
      offset = kSllHeaderLength;
      if (n < kSllHeaderLength) return Announced::kNone;
      return OfEtherType(Be16(f + kSllProtocolOffset));
    case kLinkLinuxSll2:
      offset = kSll2HeaderLength;
      if (n < kSll2HeaderLength) return Announced::kNone;
      return OfEtherType(Be16(f + kSll2ProtocolOffset));
    case kLinkNull:
    case kLinkLoop:
      offset = kLoopbackHeaderLength;
      if (n < kLoopbackHeaderLength) return Announced::kNone;
      return OfLoopbackFamily(f, link_type == kLinkNull);
    case kLinkRaw:
    case kLinkRawOpenBsd:
    case kLinkRawFile:
      offset = 0;
      return Announced::kEither;
    case kLinkIpv4:
      offset = 0;
      return Announced::kIpv4;
    default:
      return Announced::kNone;
  }
}

}  // namespace

bool IsSupportedLinkType(int link_type) {
  switch (link_type) {
    case kLinkNull:
    case kLinkEthernet:
    case kLinkRaw:
    case kLinkRawOpenBsd:
    case kLinkRawFile:
    case kLinkLoop:
    case kLinkLinuxSll:
    case kLinkIpv4:
    case kLinkLinuxSll2:
      return true;
    default:
      return false;
  }
}

std::string LinkTypeText(int link_type) {
  switch (link_type) {
    case kLinkNull:
      return "NULL (BSD loopback)";
    case kLinkEthernet:
      return "EN10MB (Ethernet)";
    case kLinkRaw:
    case kLinkRawOpenBsd:
    case kLinkRawFile:
      return "RAW (Raw IP)";
    case kLinkLoop:
      return "LOOP (OpenBSD loopback)";
    case kLinkLinuxSll:
      return "LINUX_SLL (Linux cooked v1)";
    case kLinkIpv4:
      return "IPV4 (Raw IPv4)";
    case kLinkLinuxSll2:
      return "LINUX_SLL2 (Linux cooked v2)";
    default:
      return link_type < 0 ? "none" : "DLT " + std::to_string(link_type);
  }
}

bool FindIpDatagram(int link_type, const uint8_t* frame, size_t captured,
                      DatagramSpan& span) {
  size_t offset = 0;
  const Announced announced = NetworkOffset(link_type, frame, captured, offset);
  if (announced == Announced::kNone) return false;
  if (captured <= offset) return false;
  size_t length = captured - offset;
  const ByteView ip(frame + offset, length);
  const uint8_t version = IpVersion(ip);
  const bool ipv4 = version == kIpVersion4 && announced != Announced::kIpv6;
  const bool ipv6 = version == kIpVersion6 && announced != Announced::kIpv4;
  if (ipv4) {
    // A total length below a header's is not trusted.
    if (length >= kIpv4TotalLengthAt + 2) {
      const size_t total = ip.u16(kIpv4TotalLengthAt);
      if (total >= kIpv4HeaderMin && total < length) length = total;
    }
  } else if (ipv6) {
    // A payload length of 0 behind which a hop-by-hop header follows may
    // be a jumbogram's, whose length is in that header: it says nothing of
    // the end.
    if (length >= kIpv6HeaderLength) {
      const uint16_t payload = ip.u16(kIpv6PayloadLengthAt);
      const size_t total = kIpv6HeaderLength + payload;
      const bool jumbo = payload == 0 && ip.u8(kIpv6NextHeaderAt) == kIpv6HopByHop;
      if (!jumbo && total < length) length = total;
    }
  } else {
    return false;
  }
  span.offset = offset;
  span.length = length;
  return true;
}

}  // namespace pw
