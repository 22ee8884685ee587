// ICMPv6 message type and code names (RFC 4443, 4861, 2710, 3810), and the
// ICMPv6 lines of the details report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "decode/report_fields.h"
#include "decode/report_text.h"
#include "packet/byte_view.h"

namespace pw {

// The message's name: "Destination Unreachable", "Echo Request",
// "Neighbor Solicitation", ...; "unknown" for a type without one.
std::string_view Icmpv6TypeName(uint8_t type);

// The code's name for destination unreachable (1), time exceeded (3) and
// parameter problem (4); "unknown" for a code beyond the type's table;
// empty for every other type.
std::string_view Icmpv6CodeName(uint8_t type, uint8_t code);

// Appends the lines of the ICMPv6 message that begins at `message_offset`:
// "type = <name> (<type>)", "code = <name> (<code>)" (the number alone
// where the type names no codes), then the message's own fields: the
// identifier and sequence number of an echo, the MTU of packet too big, the
// pointer of a parameter problem, the target address of a neighbour
// solicitation or advertisement and of a redirect (with its destination),
// the multicast address of an MLD query, report or done, and the number
// of records of a version 2 report with the multicast address of each of
// its first 16 records; then "icmpv6 checksum = 0x%04x (<verdict>)" over
// the pseudo-header and `cover.length` bytes. Fields that were not stored
// end the lines with the cut line.
void AppendIcmpv6Lines(ReportText& report, const ByteView& datagram, size_t message_offset,
                       const ChecksumCover& cover);

}  // namespace pw
