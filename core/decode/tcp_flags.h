// TCP flags text and MSS line of the details report.
//
// The flags byte is compared whole against thirteen known values (the usual
// combinations of a connection's life); each has six lines URG, ACK, PSH,
// RST, SYN, FIN reading "True" or "False". Every other value, one with the
// two high bits set included (apart from 0xA2, which is on the list), reads
// "invalid flags". The MSS line appears only when the segment carries options
// and the first one is an MSS option.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/report_text.h"
#include "packet/byte_view.h"

namespace pw {

// TH: the data offset (high four bits of byte 12) times 4, in bytes.
size_t TcpHeaderLength(const ByteView& datagram, size_t tcp_offset);

// True for the thirteen flag-byte values that have a six-line text.
bool IsKnownTcpFlags(uint8_t flags);

// Appends the flags text of the segment whose TCP header begins at
// `tcp_offset`, then the MSS line when its header is longer than 20 bytes
// and its first option byte is 2.
void AppendTcpFlagsAndMss(ReportText& report, const ByteView& datagram,
                          size_t tcp_offset);

}  // namespace pw
