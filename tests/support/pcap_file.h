// Writes small capture files for tests: the classic pcap format (a 24-byte
// file header, then a 16-byte header and the bytes of each frame), and the
// link-layer frames around an IPv4 datagram for the link types the sources
// read.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace pw::test {

struct PcapOptions {
  uint32_t link_type = 1;  // LINKTYPE_ETHERNET
  uint32_t snapshot = 65535;
  bool big_endian = false;   // written by a big-endian machine
  bool nanoseconds = false;  // the nanosecond-timestamp magic
};

inline void PutU32(std::string& out, uint32_t v, bool big_endian) {
  for (int i = 0; i < 4; ++i) {
    const int shift = big_endian ? 24 - 8 * i : 8 * i;
    out += static_cast<char>(v >> shift & 0xFF);
  }
}

inline void PutU16(std::string& out, uint16_t v, bool big_endian) {
  out += static_cast<char>(big_endian ? v >> 8 : v & 0xFF);
  out += static_cast<char>(big_endian ? v & 0xFF : v >> 8);
}

// The file's bytes. Each frame is written whole (captured = original
// length, up to the snapshot).
inline std::string PcapBytes(const std::vector<std::vector<uint8_t>>& frames,
                             const PcapOptions& o = {}) {
  std::string out;
  PutU32(out, o.nanoseconds ? 0xA1B23C4Du : 0xA1B2C3D4u, o.big_endian);
  PutU16(out, 2, o.big_endian);
  PutU16(out, 4, o.big_endian);
  PutU32(out, 0, o.big_endian);  // time zone
  PutU32(out, 0, o.big_endian);  // accuracy
  PutU32(out, o.snapshot, o.big_endian);
  PutU32(out, o.link_type, o.big_endian);
  uint32_t second = 1700000000;
  for (const std::vector<uint8_t>& frame : frames) {
    const uint32_t captured =
        frame.size() < o.snapshot ? static_cast<uint32_t>(frame.size()) : o.snapshot;
    PutU32(out, second++, o.big_endian);
    PutU32(out, 0, o.big_endian);
    PutU32(out, captured, o.big_endian);
    PutU32(out, static_cast<uint32_t>(frame.size()), o.big_endian);
    out.append(reinterpret_cast<const char*>(frame.data()), captured);
  }
  return out;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<uint8_t> Concat(std::vector<uint8_t> head, const std::vector<uint8_t>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// Ethernet II with the given type, optionally behind 802.1Q tags; padded to
// the 60-byte minimum frame as a network card pads it.
inline std::vector<uint8_t> EthernetFrame(const std::vector<uint8_t>& payload,
                                          uint16_t type = 0x0800, int vlan_tags = 0) {
  std::vector<uint8_t> f = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  for (int i = 0; i < vlan_tags; ++i) {
    f.insert(f.end(), {0x81, 0x00, 0x00, static_cast<uint8_t>(10 + i)});
  }
  f.push_back(static_cast<uint8_t>(type >> 8));
  f.push_back(static_cast<uint8_t>(type));
  f = Concat(f, payload);
  if (f.size() < 60) f.resize(60, 0);
  return f;
}

// Linux cooked capture, versions 1 and 2.
inline std::vector<uint8_t> SllFrame(const std::vector<uint8_t>& payload,
                                     uint16_t protocol = 0x0800) {
  std::vector<uint8_t> f = {0, 4, 0, 1, 0, 6, 1, 2, 3, 4, 5, 6, 0, 0,
                            static_cast<uint8_t>(protocol >> 8),
                            static_cast<uint8_t>(protocol)};
  return Concat(f, payload);
}
inline std::vector<uint8_t> Sll2Frame(const std::vector<uint8_t>& payload,
                                      uint16_t protocol = 0x0800) {
  std::vector<uint8_t> f = {static_cast<uint8_t>(protocol >> 8),
                            static_cast<uint8_t>(protocol), 0, 0, 0, 0, 0, 2,
                            0, 1, 0, 6, 1, 2, 3, 4, 5, 6, 0, 0};
  return Concat(f, payload);
}

// BSD loopback: the address family as four bytes.
inline std::vector<uint8_t> FamilyFrame(const std::vector<uint8_t>& payload,
                                        std::vector<uint8_t> family) {
  return Concat(std::move(family), payload);
}

}  // namespace pw::test
