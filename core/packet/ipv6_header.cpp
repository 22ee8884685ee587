#include "packet/ipv6_header.h"

namespace pw {

bool IsIpv6ExtensionHeader(uint8_t next_header) {
  switch (next_header) {
    case kIpv6HopByHop:
    case kIpv6Routing:
    case kIpv6Fragment:
    case kIpv6DestinationOptions:
    case kIpv6Authentication:
      return true;
    default:
      return false;
  }
}

std::string_view Ipv6ExtensionName(uint8_t type) {
  switch (type) {
    case kIpv6HopByHop: return "hop-by-hop options";
    case kIpv6Routing: return "routing";
    case kIpv6Fragment: return "fragment";
    case kIpv6DestinationOptions: return "destination options";
    case kIpv6Authentication: return "authentication";
    default: return {};
  }
}

Ipv6HeaderWalk::Ipv6HeaderWalk(const ByteView& d)
    : d_(d), header_(d.u8(kIpv6NextHeaderAt)) {}

bool Ipv6HeaderWalk::next(Ipv6Extension& extension) {
  if (ended_) return false;
  if (!IsIpv6ExtensionHeader(header_)) {
    ended_ = true;
    complete_ = true;
    return false;
  }
  // The length byte: in units of eight bytes after the first eight, or for
  // the authentication header in units of four after the first eight.
  size_t length = kIpv6FragmentHeaderLength;
  if (header_ == kIpv6Authentication) {
    length = (size_t{d_.has(offset_ + 1, 1) ? d_.u8(offset_ + 1) : 0u} + 2) * 4;
  } else if (header_ != kIpv6Fragment) {
    length = (size_t{d_.has(offset_ + 1, 1) ? d_.u8(offset_ + 1) : 0u} + 1) * 8;
  }
  if (!d_.has(offset_, length)) {
    ended_ = true;  // runs past the stored bytes
    return false;
  }
  extension = {header_, offset_, length, d_.u8(offset_)};
  header_ = extension.next;
  offset_ += length;
  if (extension.type == kIpv6Fragment &&
      (d_.u16(extension.offset + 2) & kIpv6FragmentOffsetMask) != 0) {
    // The bytes behind it continue the original payload.
    later_fragment_ = true;
    ended_ = true;
    complete_ = true;
  }
  return true;
}

}  // namespace pw
