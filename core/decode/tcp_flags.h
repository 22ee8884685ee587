// TCP flags text, MSS line and the further TCP lines of the details report.
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

#include "decode/report_fields.h"
#include "decode/report_text.h"
#include "packet/byte_view.h"

namespace pw {

// TH: the data offset (high four bits of byte 12) times 4, in bytes.
size_t TcpHeaderLength(const ByteView& datagram, size_t tcp_offset);

// True for the thirteen flag-byte values that have a six-line text.
bool IsKnownTcpFlags(uint8_t flags);

// Appends the flags text of the segment whose TCP header `tcp` reads, then
// the MSS line when its header is longer than 20 bytes and its first option
// byte is 2; under the cut rule (a flags byte or MSS that was not stored
// gets the cut line instead).
void AppendTcpFlagsAndMss(ReportText& report, const ByteView& datagram, HeaderCut& tcp);

// The TCP lines behind the flags and the MSS line, under the cut rule:
//   flags = 0x0c2 (SYN, ECE, CWR)   the 12 flag bits, each set one named
//   header length = 40
//   urgent pointer = 0
//   each option in order: "option = no-op", "option = end of options
//   list", "option mss = N", "option window scale = S (multiply by F)",
//   "option = sack permitted", "option sack left edge = N" and "option
//   sack right edge = N" per block, "option timestamp value = N" and
//   "option timestamp echo reply = N", else "option N, length L"; a
//   malformed list ends with "tcp options malformed: option N, length L".
// A header length under 20 bytes ends the lines with "tcp header length
// bad: under 20 bytes". True when the header was whole and good: the
// checksum verdict follows.
bool AppendTcpLines(ReportText& report, const ByteView& datagram, HeaderCut& tcp);

}  // namespace pw
