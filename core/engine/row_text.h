// The list row of a stored datagram, which is also its sniff-log line:
//
//   "\t" index "\t" name "\t" source "\t" sport "\t" destination "\t" dport
//   "\t" total length "\t" ttl
//
// Ports are 0 for icmp, igmp and raw. The text is built by hand (no locale,
// no allocation): it is made on the capture thread for every stored
// datagram.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "packet/ipv4_header.h"

namespace pw {

// Longest row of a stored datagram: tcp/udp, index 9999, two 15-character
// addresses, five-digit ports and total length, three-digit ttl.
inline constexpr size_t kRowTextMax = 63;
// Longest row of all: a capture into a file goes on numbering its rows past
// the store's, up to the twenty digits of the largest index.
inline constexpr size_t kRowTextLongest = kRowTextMax - 4 + 20;

struct RowText {
  // NUL-terminated, at most kRowTextLongest characters. The array is longer
  // so that the formatter can write addresses and numbers in fixed-size
  // pieces.
  char text[kRowTextLongest + 33];
  uint8_t length;
  std::string_view view() const { return {text, length}; }
};

// Remembers the middle part of recent rows: "\t" source "\t" source port
// "\t" destination "\t" destination port "\t". A capture is dominated by a
// few conversations, whose datagrams share that part, so most rows print
// only their index, total length and ttl. Direct-mapped; every entry always
// holds a correct (key, text) pair (a new cache holds the text of 0.0.0.0
// port 0 in both directions), so a lookup is one compare. Owned by one
// capture thread; 8 KiB.
class RowMiddleCache {
 public:
  RowMiddleCache();
  // Writes the middle part of `facts` at `out` and returns its end. Up to
  // 48 bytes at `out` may be written.
  char* put(char* out, const DatagramFacts& facts);

 private:
  struct alignas(64) Entry {
    char text[48];  // at most 45 characters, then padding
    uint32_t source;
    uint32_t destination;
    uint16_t source_port;
    uint16_t destination_port;
    uint32_t length;
  };
  static constexpr unsigned kIndexBits = 7;
  Entry entries_[1u << kIndexBits];
};

// Formats the row of `facts` as packet `index`. With a cache, a middle part
// seen before is copied from it; the text is the same.
void FormatRowText(const DatagramFacts& facts, uint64_t index, RowText& row,
                   RowMiddleCache* cache = nullptr);

}  // namespace pw
