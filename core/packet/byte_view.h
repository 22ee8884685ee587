// A bounds-checked, read-only view of one stored datagram.
//
// Every header field of the details report is read through it. A field that
// lies wholly or partly past the end of the stored bytes (a truncated
// datagram, an IP header length pointing past the end, the carried header of
// a short ICMP error) reads as 0 for the missing bytes, and the view notes
// that it was asked for bytes it does not have. Nothing outside the stored
// bytes is ever read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "packet/byte_order.h"

namespace pw {

class ByteView {
 public:
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t size() const { return size_; }

  uint8_t u8(size_t offset) const {
    if (offset < size_) return data_[offset];
    past_end_ = true;
    return 0;
  }

  // 16-bit and 32-bit fields in network byte order, returned as host values.
  // A field that lies whole in the stored bytes is read in one go.
  uint16_t u16(size_t offset) const {
    if (has(offset, 2)) return Be16(data_ + offset);
    return static_cast<uint16_t>(u8(offset) << 8 | u8(offset + 1));
  }
  uint32_t u32(size_t offset) const {
    if (has(offset, 4)) return Be32(data_ + offset);
    return uint32_t{u16(offset)} << 16 | u16(offset + 2);
  }

  // True when `count` bytes from `offset` are all stored.
  bool has(size_t offset, size_t count) const {
    return offset <= size_ && count <= size_ - offset;
  }

  // Up to `count` bytes from `offset`: fewer when the stored bytes end
  // earlier, none when `offset` lies at or past the end.
  std::span<const uint8_t> bytes(size_t offset, size_t count) const {
    const size_t left = offset < size_ ? size_ - offset : 0;
    if (count > left) {
      past_end_ = true;
      count = left;
    }
    if (count == 0) return {};
    return {data_ + offset, count};
  }

  // True once any read asked for a byte past the end.
  bool past_end() const { return past_end_; }

 private:
  const uint8_t* data_;
  size_t size_;
  mutable bool past_end_ = false;
};

}  // namespace pw
