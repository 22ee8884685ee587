// ICMP message type and code names, and the ICMP block of the details
// report: the header line, the type line, and for destination unreachable,
// redirect, time exceeded and parameter problem the line(s) naming the code;
// then the message's own fields, the checksum verdict and the datagram an
// error message carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "decode/report_fields.h"
#include "decode/report_text.h"
#include "packet/byte_view.h"

namespace pw {

// Types 0 to 18 by name; "UNKNOWN" from 19 on.
std::string_view IcmpTypeName(uint8_t type);

// The code's name for types 3, 5, 11 and 12; "incorrect code" for a code
// beyond the type's table. Empty for every other type, whose code is not
// shown.
std::string_view IcmpCodeName(uint8_t type, uint8_t code);

// Appends the ICMP block of packet `index` for the message that begins at
// `message_offset` of the datagram and whose length `cover` gives: after the
// lines above, "identifier = N" and "sequence number = N" of an echo or a
// timestamp, "next-hop mtu = N" of fragmentation needed, "gateway = A" of a
// redirect, "pointer = N" of a parameter problem, "icmp checksum = 0x%04x
// (<verdict>)", and for every error message (3, 4, 5, 11, 12) the carried
// datagram's "carried protocol", "carried source", "carried destination"
// and, for tcp and udp, "carried source port" and "carried destination
// port". Fields that were not stored end the block with the cut line.
void AppendIcmpBlock(ReportText& report, const ByteView& datagram, size_t message_offset,
                     uint32_t index, const ChecksumCover& cover);

}  // namespace pw
