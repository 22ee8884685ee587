// Builds capture files for the tests of the capture-file reader: classic
// pcap with chosen times, and pcapng block by block (section headers in
// either byte order, interface descriptions with time options, enhanced and
// simple packet blocks, blocks of other types, raw bytes for damage).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/pcap_file.h"

namespace pw::test {

struct TimedFrame {
  std::vector<uint8_t> frame;
  uint32_t seconds = 0;
  uint32_t fraction = 0;  // micro- or nanoseconds, as the file's magic says
};

// A classic pcap file; each frame whole (captured = original length).
inline std::string PcapWithTimes(const std::vector<TimedFrame>& records, const PcapOptions& o) {
  std::string out = PcapBytes({}, o);  // the file header alone
  for (const TimedFrame& r : records) {
    PutU32(out, r.seconds, o.big_endian);
    PutU32(out, r.fraction, o.big_endian);
    PutU32(out, static_cast<uint32_t>(r.frame.size()), o.big_endian);
    PutU32(out, static_cast<uint32_t>(r.frame.size()), o.big_endian);
    out.append(r.frame.begin(), r.frame.end());
  }
  return out;
}

struct InterfaceSpec {
  uint16_t link_type = 1;
  uint32_t snap_length = 0;               // 0: no limit
  std::optional<uint8_t> resolution = std::nullopt;  // if_tsresol
  std::optional<int64_t> offset = std::nullopt;      // if_tsoffset
};

class PcapngBuilder {
 public:
  explicit PcapngBuilder(bool big_endian = false) { section(big_endian); }

  PcapngBuilder& section(bool big_endian) {
    big_ = big_endian;
    std::string body;
    PutU32(body, 0x1A2B3C4D, big_);
    PutU16(body, 1, big_);
    PutU16(body, 0, big_);
    PutU32(body, 0xFFFFFFFF, big_);  // section length: not given
    PutU32(body, 0xFFFFFFFF, big_);
    return block(0x0A0D0D0A, body);
  }

  // An interface description; it also carries an interface name, which
  // the reader passes over.
  PcapngBuilder& interface(const InterfaceSpec& iface) {
    std::string body;
    PutU16(body, iface.link_type, big_);
    PutU16(body, 0, big_);
    PutU32(body, iface.snap_length, big_);
    option(body, 2, "lo");
    if (iface.resolution) option(body, 9, std::string(1, static_cast<char>(*iface.resolution)));
    if (iface.offset) {
      std::string value;
      const auto v = static_cast<uint64_t>(*iface.offset);
      PutU32(value, static_cast<uint32_t>(big_ ? v >> 32 : v), big_);
      PutU32(value, static_cast<uint32_t>(big_ ? v : v >> 32), big_);
      option(body, 14, value);
    }
    PutU32(body, 0, big_);  // end of options
    return block(1, body);
  }

  // An enhanced packet block with a comment option.
  PcapngBuilder& packet(uint32_t interface, uint64_t units, const std::vector<uint8_t>& frame) {
    std::string body;
    PutU32(body, interface, big_);
    PutU32(body, static_cast<uint32_t>(units >> 32), big_);
    PutU32(body, static_cast<uint32_t>(units), big_);
    PutU32(body, static_cast<uint32_t>(frame.size()), big_);
    PutU32(body, static_cast<uint32_t>(frame.size()), big_);
    body.append(frame.begin(), frame.end());
    Pad(body);
    option(body, 1, "seen");
    PutU32(body, 0, big_);
    return block(6, body);
  }

  // A simple packet block holding `frame` (padded), with `original` as the
  // original length.
  PcapngBuilder& simple(const std::vector<uint8_t>& frame, uint32_t original) {
    std::string body;
    PutU32(body, original, big_);
    body.append(frame.begin(), frame.end());
    return block(3, body);
  }

  // A block of another type with `size` bytes of body.
  PcapngBuilder& other(uint32_t type, size_t size) {
    return block(type, std::string(size, '\xEE'));
  }

  // A block with the given body, padded to four bytes, between its lengths.
  PcapngBuilder& block(uint32_t type, std::string body) {
    Pad(body);
    const auto length = static_cast<uint32_t>(body.size() + 12);
    PutU32(out_, type, big_);
    PutU32(out_, length, big_);
    out_ += body;
    PutU32(out_, length, big_);
    ends_.push_back(out_.size());
    return *this;
  }

  // Bytes added as they are (damage).
  PcapngBuilder& raw(const std::string& bytes) {
    out_ += bytes;
    return *this;
  }

  bool big_endian() const { return big_; }
  const std::string& bytes() const { return out_; }
  // Where each block ends, in the order they were added.
  const std::vector<size_t>& block_ends() const { return ends_; }

 private:
  static void Pad(std::string& s) { s.resize((s.size() + 3) / 4 * 4, '\0'); }
  void option(std::string& body, uint16_t code, const std::string& value) {
    PutU16(body, code, big_);
    PutU16(body, static_cast<uint16_t>(value.size()), big_);
    body += value;
    Pad(body);
  }

  bool big_ = false;
  std::string out_;
  std::vector<size_t> ends_;
};

}  // namespace pw::test
