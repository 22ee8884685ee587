// Helpers of the details report's header blocks: reading a header's fields
// under the cut rule, and the checksum verdicts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/report_text.h"
#include "packet/byte_view.h"

namespace pw {

// Reads one header's fields for the report. A field whose bytes were not
// stored gets no line: the first such field adds the line
// "<name> header cut: N bytes needed, M stored" (N the header's length, M
// the bytes of it that were stored) and the header's block stops there:
// every later has() is false too.
class HeaderCut {
 public:
  HeaderCut(ReportText& report, const ByteView& d, const char* name, size_t start,
            size_t needed)
      : report_(report), d_(d), name_(name), start_(start), needed_(needed) {}

  // True when the `count` bytes at `offset` (from the header's first byte)
  // are stored and the block has not stopped.
  bool has(size_t offset, size_t count);
  bool cut() const { return cut_; }
  // The header's length once a field of its own has told it.
  void set_needed(size_t needed) { needed_ = needed; }
  size_t start() const { return start_; }

 private:
  ReportText& report_;
  const ByteView& d_;
  const char* name_;
  size_t start_;
  size_t needed_;
  bool cut_ = false;
};

// The ones' complement sum of `count` bytes at `offset`, as big-endian
// 16-bit words (an odd last byte padded with zero), not yet folded. The
// bytes must be stored.
uint64_t ChecksumSum(const ByteView& d, size_t offset, size_t count);

// The sum of an IPv4 or IPv6 pseudo-header for an upper layer of
// `protocol` and `length` bytes: the datagram's source and final
// destination (of an IPv4 datagram with a source route not yet complete,
// the route's last address), the protocol and the length.
uint64_t PseudoHeaderSum(const ByteView& d, bool ipv6, uint8_t protocol, uint32_t length);

// What the checksum of an upper layer covers: its length by the network
// header's length fields (IPv4 total length less the header, IPv6 payload
// length less the extension headers), negative when they leave it none, the
// family whose pseudo-header it takes, and whether the datagram is one
// fragment of a larger one (the checksum then covers bytes it does not
// hold).
struct ChecksumCover {
  bool ipv6;
  int64_t length;
  bool fragment;
};

// Appends "<name> checksum = 0x%04x (cannot be checked, datagram
// fragmented)" and returns true for a fragment; false otherwise.
bool AppendFragmentVerdict(ReportText& report, const ByteView& d, const char* name,
                           size_t field_at, const ChecksumCover& cover);

// Appends "<name> checksum = 0x%04x (correct)" or "(incorrect, should be
// 0x%04x)" for the checksum field at `field_at` of the `length` bytes at
// `offset`, with `extra` (a pseudo-header's sum) added. When the bytes are
// not all stored, the verdict reads "(cannot be checked, N bytes not
// stored)", and "(cannot be checked, length N too short)" when `length`
// does not reach past the field. `zero_is_ffff`: a computed 0 is sent as 0xffff (udp).
void AppendChecksumVerdict(ReportText& report, const ByteView& d, const char* name,
                           size_t field_at, size_t offset, int64_t length, uint64_t extra,
                           bool zero_is_ffff = false);

// The views handed to "%.*s".
inline int TextLength(std::string_view s) { return static_cast<int>(s.size()); }

}  // namespace pw
