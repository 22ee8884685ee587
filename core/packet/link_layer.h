// Where the IPv4 datagram lies in a captured link-layer frame.
//
// A capture library hands over whole frames of the device's link type; the
// capture store keeps datagrams from the first byte of their IPv4 header, as
// a raw IPv4 socket delivers them. This strips the link header of the link
// types that carry IPv4 on the devices and in the files this program reads.
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

// True for the link types FindIpv4Datagram understands.
bool IsSupportedLinkType(int link_type);

// How the capture library names a link type and describes it, for the
// supported ones: "EN10MB (Ethernet)", "RAW (Raw IP)" (all three numbers of
// raw IP). Others are "DLT n"; a negative number (no link) is "none".
std::string LinkTypeText(int link_type);

struct DatagramSpan {
  size_t offset;  // first byte of the IPv4 header within the frame
  size_t length;  // captured bytes of the datagram
};

// Finds the IPv4 datagram in `captured` bytes of a frame. Returns false when
// the frame carries no IPv4 (another network protocol, a header that is cut
// short, an IP version other than 4). Ethernet frames may carry up to two
// VLAN tags. Bytes after the end that the header's total length gives
// (Ethernet pads short frames) belong to the link, not to the datagram, and
// are left out; a datagram cut short by the snapshot length keeps what was
// captured. Reads nothing outside the `captured` bytes.
bool FindIpv4Datagram(int link_type, const uint8_t* frame, size_t captured,
                      DatagramSpan& span);

}  // namespace pw
