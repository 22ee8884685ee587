// The details report of one stored datagram.
//
// The report describes the datagram, one entry per line:
//
//   packets source:
//   (empty)
//   packet<N> <protocol>        <- the header line
//   ... the transport header's fields, flags, options, checksum verdict ...
//   ... the IPv4 or IPv6 header's fields, options, extension headers ...
//   ... payload part (data length and views) of tcp and udp ...
//   (empty)                     <- every report ends with a line end
//
// A header whose fields were not all stored shows those that were, then
// one line "<name> header cut: N bytes needed, M stored", and its block
// ends there: no value is shown that was not captured.
//
// Both front ends show exactly the entries of a DetailReport: the Windows
// details window adds them to its list in order; the Linux front end prints
// one entry per line. Which entry a list selects and where it scrolls is the
// front end's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/payload_views.h"
#include "decode/report_text.h"
#include "engine/capture_store.h"
#include "packet/byte_view.h"

namespace pw {

struct DetailReport {
  // The entries in order: 8-bit texts without a zero byte. Payload bytes are
  // kept as they are (control characters and bytes 0x80 to 0xFF included).
  std::vector<std::string> entries;
  // Some read asked for bytes past the stored ones (a truncated datagram).
  // No entry shows a value made of them: the header says it is cut.
  bool fields_past_end = false;
};

enum class DecodeResult {
  kReport,     // `report` holds the entries
  kNotStored,  // the store holds no datagram of that index
};

// Decodes packet `index` of the store. Safe while a capture appends to it:
// only a datagram that lies whole below the published pool fill is read
// (one of an earlier capture, whose length entry is still in the table, is
// not stored). The datagram is decoded in place in the byte pool, whatever
// its length; only the report text is limited (see payload_views.h). Any
// thread that may read the store.
DecodeResult DecodePacket(const CaptureStore& store, uint32_t index,
                          const PayloadViewFlags& flags, DetailReport& report);

// The report of one datagram: `length` stored bytes at `bytes`, the
// protocol entry the capture stored for it, and its packet index.
void BuildDetailReport(const uint8_t* bytes, size_t length, uint8_t protocol,
                       uint32_t index, const PayloadViewFlags& flags,
                       DetailReport& report);

// The report as one text, before it is cut into entries.
void BuildReportText(const ByteView& datagram, uint8_t protocol, uint32_t index,
                     const PayloadViewFlags& flags, ReportText& report);

}  // namespace pw
