// The IGMP lines of the details report that follow the four lines of the
// version 1 layout (version, type, cheksum, group adddress).
#pragma once

#include "decode/report_fields.h"
#include "decode/report_text.h"
#include "packet/byte_view.h"

namespace pw {

// Appends, for the IGMP message that `igmp` reads (its first 8 bytes
// stored) and whose length `cover` gives:
//   message = <name>          v1/v2/v3 membership query (told apart by the
//                             length and the max response field), v1/v2/v3
//                             membership report, v2 leave group, or
//                             "type 0xNN"
//   max response time = N (T s)   in tenths of a second (a v3 query's
//                             code decoded) and in seconds; not for v1
//                             messages and v3 reports, which have none
//   a v3 query: suppress router processing, querier robustness variable,
//     querier query interval code, number of sources, each source;
//   a v3 report: number of group records, and per record its type, its
//     multicast address, its number of sources and each source;
//   igmp checksum = 0x%04x (<verdict>)
// At most kIgmpSourcesShown sources and kIgmpRecordsShown records are
// shown; a line says how many more there are. A record that was not stored
// whole ends the lines with the cut line.
void AppendIgmpLines(ReportText& report, const ByteView& d, HeaderCut& igmp,
                     const ChecksumCover& cover);

inline constexpr unsigned kIgmpSourcesShown = 64;
inline constexpr unsigned kIgmpRecordsShown = 16;

}  // namespace pw
