#include "capture/link_layer.h"

namespace pw {

namespace {

constexpr uint16_t kEtherTypeIpv4 = 0x0800;
constexpr size_t kMaxVlanTags = 2;

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

bool IsVlanTag(uint16_t ether_type) {
  return ether_type == 0x8100 || ether_type == 0x88A8 || ether_type == 0x9100;
}

// Offset of the network header behind the link header, or false when the
// frame carries no IPv4.
bool NetworkOffset(int link_type, const uint8_t* f, size_t n, size_t& offset) {
  switch (link_type) {
    case kLinkEthernet: {
      size_t type_at = 12;
      for (size_t tags = 0;; ++tags) {
        if (n < type_at + 2) return false;
        const uint16_t type = Be16(f + type_at);
        if (!IsVlanTag(type)) {
          offset = type_at + 2;
          return type == kEtherTypeIpv4;
        }
        if (tags == kMaxVlanTags) return false;
        type_at += 4;
      }
    }
    case kLinkLinuxSll:
      offset = 16;
      return n >= 16 && Be16(f + 14) == kEtherTypeIpv4;
    case kLinkLinuxSll2:
      offset = 20;
      return n >= 20 && Be16(f) == kEtherTypeIpv4;
    case kLinkNull:
      // The family in the byte order of the capturing machine: 2 is IPv4
      // everywhere.
      offset = 4;
      return n >= 4 && ((f[0] == 2 && f[1] == 0 && f[2] == 0 && f[3] == 0) ||
                        (f[0] == 0 && f[1] == 0 && f[2] == 0 && f[3] == 2));
    case kLinkLoop:
      offset = 4;
      return n >= 4 && f[0] == 0 && f[1] == 0 && f[2] == 0 && f[3] == 2;
    case kLinkRaw:
    case kLinkRawOpenBsd:
    case kLinkRawFile:
    case kLinkIpv4:
      offset = 0;
      return true;
    default:
      return false;
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

bool FindIpv4Datagram(int link_type, const uint8_t* frame, size_t captured,
                      DatagramSpan& span) {
  size_t offset = 0;
  if (!NetworkOffset(link_type, frame, captured, offset)) return false;
  if (captured <= offset) return false;
  const uint8_t* ip = frame + offset;
  size_t length = captured - offset;
  if (ip[0] >> 4 != 4) return false;
  if (length >= 4) {
    const size_t total = Be16(ip + 2);
    if (total >= 20 && total < length) length = total;
  }
  span.offset = offset;
  span.length = length;
  return true;
}

}  // namespace pw
