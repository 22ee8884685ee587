// The IPv6 lines of the details report: the fixed header and each
// extension header of the chain, one line per field, "name = value". They
// follow the transport lines and come before the payload part.
#pragma once

#include <cstddef>

#include "decode/report_text.h"
#include "packet/byte_view.h"

namespace pw {

// Appends, for the IPv6 datagram `d`:
//   version, traffic class, flow label, payload length, next header, hop
//   limit, source, destination (addresses as rows write them);
// then for each extension header that the walk steps over (hop-by-hop
// options, routing, fragment, destination options, authentication):
//   "extension header = <name>", its next header and length in bytes, and
//   its own fields: routing type and segments left; fragment offset in
//   bytes, more fragments (0 or 1) and identification; security parameters
//   index and sequence number. A chain longer than kIpv6ExtensionsShown
//   (a datagram's bytes can hold thousands) ends with the line "further
//   extension headers not shown: N", so that the lines leave the payload
//   part its room.
void AppendIpv6Lines(ReportText& report, const ByteView& d);

inline constexpr size_t kIpv6ExtensionsShown = 16;

}  // namespace pw
