// The details report of one stored datagram ("packets in details").
//
// The report describes the transport layer of the datagram, one list entry
// per line:
//
//   packets source:
//   (empty)
//   packet<N> <protocol>        <- the entry to select
//   ... header fields, flags, payload views of the protocol ...
//   (empty)                     <- every report ends with a line end
//
// Both front ends show exactly the entries of a DetailReport: the Windows
// details window adds them to its list box in order and selects as the
// report says; the Linux front end prints one entry per line.
//
// Usage (UI thread):
//
//   DetailReport report;
//   if (DecodeSelectedPacket(store, PayloadViewFlagsOf(settings), report) ==
//       DecodeResult::kNoData) {
//     // add kNoDataRow ("don't found data!") as a new last row of the main list
//   } else {
//     // show report.entries in order; scroll report.scroll_index into view,
//     // then select report.select_index (list box: LB_SETCURSEL with
//     // scroll_index, then with select_index)
//   }
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/capture_store.h"
#include "decode/byte_view.h"
#include "decode/payload_views.h"
#include "decode/report_text.h"

namespace pw {

// The main list's row when there is nothing to decode.
inline constexpr char kNoDataRow[] = "don't found data!";

struct DetailReport {
  // The details list's entries in order: 8-bit texts without a zero byte,
  // exactly as the list holds them. Payload bytes are kept as they are
  // (control characters and bytes 0x80 to 0xFF included); the Windows list
  // shows them in the ANSI code page.
  std::vector<std::string> entries;
  // The entry to select: the first that begins with "packet<N>", compared
  // without regard to case (always the header line, entry 2).
  int select_index = -1;
  // The entry to make visible before selecting: select_index + 7, or the
  // last entry when the report is shorter, so that the header line ends up
  // selected with the lines below it in view.
  int scroll_index = -1;
  // Some header field lay wholly or partly past the stored bytes and was
  // shown as 0 (a truncated datagram). The entries do not say so.
  bool fields_past_end = false;
};

enum class DecodeResult {
  kReport,  // `report` holds the entries
  kNoData,  // nothing stored, or the selected index names no datagram of
            // this capture: show kNoDataRow in the main list; the details
            // list stays empty
};

// The "packets in details" operation. Reads the store (safe while a capture
// appends to it: only datagrams below the published pool fill are read) and
// decodes the datagram of the selected index:
//  - pool fill 0: kNoData;
//  - selected index -1: packet 0 is decoded and 0 is written back;
//  - an index whose datagram does not lie whole below the pool fill (one of
//    an earlier capture, or any other negative value): kNoData.
// The datagram is decoded in place in the byte pool, whatever its length;
// only the report text is limited (see payload_views.h). UI thread only.
DecodeResult DecodeSelectedPacket(CaptureStore& store, const PayloadViewFlags& flags,
                                  DetailReport& report);

// The report of one datagram: `length` stored bytes at `bytes`, the
// protocol entry the capture stored for it, and its packet index.
void BuildDetailReport(const uint8_t* bytes, size_t length, uint8_t protocol,
                       uint32_t index, const PayloadViewFlags& flags,
                       DetailReport& report);

// The report as one text, before it is cut into entries.
void BuildReportText(const ByteView& datagram, uint8_t protocol, uint32_t index,
                     const PayloadViewFlags& flags, ReportText& report);

}  // namespace pw
