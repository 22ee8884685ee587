// Reading 16- and 32-bit fields from bytes in a stated byte order: network
// (big-endian) order for the IPv4 header and link-layer headers, either
// order for capture files. Each reads exactly the bytes it names; the caller
// has checked that they are there.
#pragma once

#include <cstdint>

namespace pw {

inline uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

inline uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[1] << 8 | p[0]); }

inline uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

}  // namespace pw
