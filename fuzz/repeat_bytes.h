// Repeats a fuzz input's bytes to a given length, so that targets reach
// large datagrams from small inputs.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pw::fuzz {

// Writes `length` bytes to `out`: `data` (`size` bytes, at least one) over
// and over, doubled with memcpy, as a byte loop would cost more than what
// the targets then do with the bytes.
inline void RepeatBytes(const uint8_t* data, size_t size, uint8_t* out, size_t length) {
  size_t filled = std::min(size, length);
  if (filled == 0) return;
  std::memcpy(out, data, filled);
  while (filled < length) {
    const size_t more = std::min(filled, length - filled);
    std::memcpy(out + filled, out, more);
    filled += more;
  }
}

}  // namespace pw::fuzz
