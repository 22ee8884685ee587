// Where the IP datagram (IPv4 or IPv6) lies in a captured link-layer frame.
//
// A capture library hands over whole frames of the device's link type; the
// capture store keeps datagrams from the first byte of their IP header, as
// a raw socket delivers them. This strips the link header of the link types
// that carry IP on the devices and in the files this program reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pw {

// Link types by their capture-library numbers (DLT_*; the LINKTYPE_* number
// of a file is mapped to these when it is opened, except that both numbers
// of raw IP are accepted).
inline constexpr int kLinkNull = 0;         // BSD loopback: family, host order
inline constexpr int kLinkEthernet = 1;
inline constexpr int kLinkRaw = 12;         // raw IP (14 on OpenBSD, 101 in files)
inline constexpr int kLinkRawOpenBsd = 14;
inline constexpr int kLinkRawFile = 101;
inline constexpr int kLinkLoop = 108;       // OpenBSD loopback: family, network order
inline constexpr int kLinkLinuxSll = 113;   // Linux cooked capture
inline constexpr int kLinkIpv4 = 228;
inline constexpr int kLinkLinuxSll2 = 276;  // Linux cooked capture, version 2

// True for the link types FindIpDatagram understands.
bool IsSupportedLinkType(int link_type);

// How the capture library names a link type and describes it, for the
// supported ones: "EN10MB (Ethernet)", "RAW (Raw IP)" (all three numbers of
// raw IP). Others are "DLT n"; a negative number (no link) is "none".
std::string LinkTypeText(int link_type);

struct DatagramSpan {
  size_t offset;  // first byte of the IP header within the frame
  size_t length;  // captured bytes of the datagram
};

// Finds the IP datagram in `captured` bytes of a frame. Returns false when
// the frame carries no IP (another network protocol, a header that is cut
// short, an IP version that the link's type for it does not announce).
// IPv4 comes as Ethernet type 0x0800, the Linux cooked protocol of the same
// number, the BSD loopback family 2 and raw IP of version 4; IPv6 as
// Ethernet type 0x86DD, the cooked protocol of that number, the loopback
// families 24, 28 and 30 (the BSDs' differing AF_INET6) and raw IP of
// version 6. Raw IPv4 (228) takes version 4 only. Ethernet frames may carry
// up to two VLAN tags. Bytes after the end that the header's length gives
// (IPv4's total length, 40 + IPv6's payload length: Ethernet pads short
// frames) belong to the link, not to the datagram, and are left out; a
// datagram cut short by the snapshot length keeps what was captured. Reads
// nothing outside the `captured` bytes.
bool FindIpDatagram(int link_type, const uint8_t* frame, size_t captured,
                      DatagramSpan& span);

}  // namespace pw
