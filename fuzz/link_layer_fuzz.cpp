// Finds the IP datagram (IPv4 or IPv6) in arbitrary frames of every link
// type and checks
// what FindIpDatagram promises about the span it returns. The frame lies
// in a heap buffer of exactly its captured length, so that ASan catches a
// read on either side of it.
//
// Input layout: a link-type byte, then the frame. A byte below 0x80 picks
// one of kLinkTypes (the supported ones and a few others); from 0x80 on the
// next four bytes give any link type number (big-endian, signed).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "packet/ipv4_header.h"
#include "packet/ipv6_header.h"
#include "packet/link_layer.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

constexpr int kLinkTypes[] = {
    pw::kLinkNull,  pw::kLinkEthernet, pw::kLinkRaw,      pw::kLinkRawOpenBsd,
    pw::kLinkRawFile, pw::kLinkLoop,   pw::kLinkLinuxSll, pw::kLinkIpv4,
    pw::kLinkLinuxSll2,
    105,  // IEEE 802.11
    127,  // radiotap
    -1,
};

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

bool IsVlanTag(uint16_t type) { return type == 0x8100 || type == 0x88A8 || type == 0x9100; }

// The loopback family of `f` (4 bytes) in network order, or with
// `either_order` little-endian too.
bool FamilyIs(const uint8_t* f, uint8_t family, bool either_order) {
  const bool network = f[0] == 0 && f[1] == 0 && f[2] == 0 && f[3] == family;
  const bool little = f[0] == family && f[1] == 0 && f[2] == 0 && f[3] == 0;
  return network || (either_order && little);
}

// Where the IP header must start behind each link header that carries it,
// and that the link announces the datagram's version.
void CheckOffset(int link_type, const uint8_t* frame, size_t offset, bool v6) {
  const uint16_t ether_type = v6 ? 0x86DD : 0x0800;
  switch (link_type) {
    case pw::kLinkEthernet: {
      // 14 bytes, or 4 more for each of at most two VLAN tags, and the
      // type in front of the datagram is the datagram's.
      Check(offset == 14 || offset == 18 || offset == 22);
      Check(Be16(frame + offset - 2) == ether_type);
      for (size_t at = 12; at + 2 < offset; at += 4) Check(IsVlanTag(Be16(frame + at)));
      break;
    }
    case pw::kLinkLinuxSll: Check(offset == 16 && Be16(frame + 14) == ether_type); break;
    case pw::kLinkLinuxSll2: Check(offset == 20 && Be16(frame) == ether_type); break;
    case pw::kLinkNull:
    case pw::kLinkLoop: {
      Check(offset == 4);
      const bool either = link_type == pw::kLinkNull;
      Check(v6 ? FamilyIs(frame, 24, either) || FamilyIs(frame, 28, either) ||
                     FamilyIs(frame, 30, either)
               : FamilyIs(frame, 2, either));
      break;
    }
    case pw::kLinkIpv4: Check(offset == 0 && !v6); break;
    default: Check(offset == 0); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int link_type = kLinkTypes[data[0] % (sizeof kLinkTypes / sizeof kLinkTypes[0])];
  size_t skip = 1;
  if (data[0] >= 0x80) {
    if (size < 5) return 0;
    const uint32_t number = uint32_t{data[1]} << 24 | uint32_t{data[2]} << 16 |
                            uint32_t{data[3]} << 8 | data[4];
    link_type = static_cast<int>(number);
    skip = 5;
  }
  const size_t captured = size - skip;
  const std::unique_ptr<uint8_t[]> frame(new uint8_t[captured]);
  if (captured > 0) std::memcpy(frame.get(), data + skip, captured);

  pw::DatagramSpan span{};
  if (!pw::FindIpDatagram(link_type, frame.get(), captured, span)) return 0;
  Check(pw::IsSupportedLinkType(link_type));

  // The span lies inside the frame and starts with an IPv4 or IPv6
  // header's version.
  Check(span.length >= 1 && span.offset < captured && span.length <= captured - span.offset);
  const uint8_t version = frame[span.offset] >> 4;
  Check(version == 4 || version == 6);
  CheckOffset(link_type, frame.get(), span.offset, version == 6);

  // What follows the link header is the datagram, cut to its total length
  // where that field is there and sane (a whole header, and no more than
  // was captured): never longer than the header claims. An IPv6 datagram's
  // is 40 + its payload length, unless that is 0 before a hop-by-hop
  // header (a jumbogram's).
  const uint8_t* ip = frame.get() + span.offset;
  const size_t available = captured - span.offset;
  size_t expected = available;
  if (version == 4 && available >= 4) {
    const size_t total = Be16(ip + 2);
    if (total >= pw::kIpv4HeaderMin && total < available) expected = total;
  }
  if (version == 6 && available >= pw::kIpv6HeaderLength) {
    const size_t payload = Be16(ip + 4);
    const size_t total = pw::kIpv6HeaderLength + payload;
    if (!(payload == 0 && ip[6] == 0) && total < available) expected = total;
  }
  Check(span.length == expected);

  // The bytes after the datagram (link padding) change nothing: the frame
  // cut right behind it gives the same span.
  pw::DatagramSpan cut{};
  Check(pw::FindIpDatagram(link_type, frame.get(), span.offset + span.length, cut));
  Check(cut.offset == span.offset && cut.length == span.length);
  return 0;
}
