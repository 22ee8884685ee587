#include "decode/report_fields.h"

#include "packet/ipv4_header.h"
#include "packet/ipv6_header.h"

namespace pw {

bool HeaderCut::has(size_t offset, size_t count) {
  if (cut_) return false;
  if (d_.has(start_ + offset, count)) return true;
  cut_ = true;
  const size_t stored = d_.size() > start_ ? d_.size() - start_ : 0;
  report_.append_format("%s header cut: %u bytes needed, %u stored\r\n", name_,
                        static_cast<unsigned>(needed_), static_cast<unsigned>(stored));
  return false;
}

uint64_t ChecksumSum(const ByteView& d, size_t offset, size_t count) {
  const auto bytes = d.bytes(offset, count);
  uint64_t sum = 0;
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) sum += uint32_t{bytes[i]} << 8 | bytes[i + 1];
  if (i < bytes.size()) sum += uint32_t{bytes[i]} << 8;
  return sum;
}

namespace {

uint16_t Fold(uint64_t sum) {
  while (sum >> 16 != 0) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(sum);
}

}  // namespace

namespace {

constexpr uint8_t kLooseRoute = 131;
constexpr uint8_t kStrictRoute = 137;

// Where the final destination of an IPv4 datagram lies: the last address of
// a source route that is not yet complete (its pointer within the option),
// else the header's destination field.
size_t FinalDestinationAt(const ByteView& d) {
  const size_t end = Ipv4HeaderLength(d);
  size_t at = kIpv4HeaderMin;
  while (at < end && d.has(at, 1)) {
    const uint8_t kind = d.u8(at);
    if (kind == 0) break;
    if (kind == 1) {
      ++at;
      continue;
    }
    if (!d.has(at, 2)) break;
    const size_t length = d.u8(at + 1);
    if (length < 2 || length > end - at || !d.has(at, length)) break;
    if ((kind == kLooseRoute || kind == kStrictRoute) && length >= 7 &&
        d.u8(at + 2) <= length) {
      return at + 3 + (length - 3) / 4 * 4 - 4;
    }
    at += length;
  }
  return kIpv4DestinationAt;
}

}  // namespace

uint64_t PseudoHeaderSum(const ByteView& d, bool ipv6, uint8_t protocol, uint32_t length) {
  const uint64_t tail = uint64_t{protocol} + (length >> 16) + (length & 0xFFFF);
  if (ipv6) return ChecksumSum(d, kIpv6SourceAt, 2 * kIpv6AddressLength) + tail;
  return ChecksumSum(d, kIpv4SourceAt, 4) + ChecksumSum(d, FinalDestinationAt(d), 4) + tail;
}

bool AppendFragmentVerdict(ReportText& report, const ByteView& d, const char* name,
                           size_t field_at, const ChecksumCover& cover) {
  if (!cover.fragment) return false;
  report.append_format("%s checksum = 0x%04x (cannot be checked, datagram fragmented)\r\n",
                       name, unsigned{d.u16(field_at)});
  return true;
}

void AppendChecksumVerdict(ReportText& report, const ByteView& d, const char* name,
                           size_t field_at, size_t offset, int64_t length, uint64_t extra,
                           bool zero_is_ffff) {
  const uint16_t field = d.u16(field_at);
  if (length < static_cast<int64_t>(field_at - offset + 2)) {
    report.append_format("%s checksum = 0x%04x (cannot be checked, length %lld too short)\r\n",
                         name, field, static_cast<long long>(length));
    return;
  }
  const int64_t missing = static_cast<int64_t>(offset + static_cast<uint64_t>(length)) -
                          static_cast<int64_t>(d.size());
  if (missing > 0) {
    report.append_format("%s checksum = 0x%04x (cannot be checked, %lld bytes not stored)\r\n",
                         name, field, static_cast<long long>(missing));
    return;
  }
  // The field lies at an even distance from `offset`, so taking its word
  // out of the sum leaves the sum the sender computed.
  const uint64_t sum = ChecksumSum(d, offset, static_cast<size_t>(length)) + extra;
  uint16_t should_be = static_cast<uint16_t>(~Fold(sum - field));
  if (zero_is_ffff && should_be == 0) should_be = 0xFFFF;
  if (Fold(sum) == 0xFFFF) {
    report.append_format("%s checksum = 0x%04x (correct)\r\n", name, field);
  } else {
    report.append_format("%s checksum = 0x%04x (incorrect, should be 0x%04x)\r\n", name, field,
                         should_be);
  }
}

}  // namespace pw
