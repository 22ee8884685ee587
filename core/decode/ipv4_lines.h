// The IPv4 lines of the details report: the header, one line per field,
// "name = value", then each option. They follow the transport lines and
// come before the payload part.
#pragma once

#include "decode/report_text.h"
#include "packet/byte_view.h"

namespace pw {

// Appends, for the IPv4 datagram `d`: version, header length, dscp, ecn,
// total length, identification (hex and decimal), don't fragment, more
// fragments, fragment offset in bytes, time to live, protocol, the header
// checksum with its verdict, source, destination; then each option by name
// ("ip option = record route", ...) with its addresses or values, or
// "ip option = option N, length L" for one without a name. A header length
// under 20 bytes is said to be bad and ends the lines; a malformed option
// list is said to be malformed and ends there; fields that were not stored
// end the lines with the cut line.
void AppendIpv4Lines(ReportText& report, const ByteView& d);

}  // namespace pw
