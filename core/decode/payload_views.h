// The payload part of a TCP or UDP report: the "data length" line and up to
// two views of the payload bytes.
//
//  - ASCII view: the bytes as characters, 64 to a line; a zero byte shows
//    nothing but counts.
//  - text view (TCP only): the bytes up to the first zero byte as one run of
//    text; the payload's own line ends make the list entries.
//  - hex view: "%2.2x " per byte, 32 to a line.
//
// A UDP payload always gets the ASCII view and then the hex view. A TCP
// payload gets the ASCII view when tcp_ascii is set, otherwise the text view
// when tcp_text is set, and then the hex view when tcp_hex is set.
//
// The report holds at most kReportCapacity - 1 characters. A view that does
// not fit is cut at a line boundary (for the text view: behind the last
// carriage return that fits, or where the room ends) and ends with the line
// "rest of data cut: N bytes not shown", so the report still ends with its
// line end. When two views follow each other, the first may fill at most
// half of the room that is left, so that the second always shows the start
// of the payload too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/report_text.h"
#include "packet/byte_view.h"

namespace pw {

// How a TCP payload is shown (a UDP payload always gets the ASCII view and
// the hex view).
struct PayloadViewFlags {
  bool tcp_ascii = false;  // the ASCII view
  bool tcp_text = false;   // the text view, unless tcp_ascii is set
  bool tcp_hex = false;    // the hex view as well
};

enum class PayloadKind { kTcp, kUdp };

// Appends the payload part for a payload of `payload_length` bytes (stored
// length minus headers, so it may be negative) at `payload_offset`:
// nothing when it is 0; otherwise "data length = %d", and the views only
// when it is positive.
void AppendPayloadPart(ReportText& report, const ByteView& datagram,
                       size_t payload_offset, int64_t payload_length,
                       PayloadKind kind, const PayloadViewFlags& flags);

// The last line of a view that did not fit into the report.
inline constexpr char kViewCutFormat[] = "rest of data cut: %lld bytes not shown\r\n";

}  // namespace pw
