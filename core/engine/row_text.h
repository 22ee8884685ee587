// The list row of a stored datagram, which is also its sniff-log line:
//
//   "\t" index "\t" name "\t" source "\t" sport "\t" destination "\t" dport
//   "\t" total length "\t" ttl
//
// Ports are 0 for icmp, igmp, icmp6 and raw. Addresses are written by the
// one formatter of packet/ip_address.h; for an IPv6 datagram the total
// length is 40 plus its payload length and the ttl is its hop limit. The
// text is built by hand (no locale, no allocation): it is made on the
// capture thread for every stored datagram.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "packet/ipv4_header.h"

namespace pw {

// Longest IPv4 row of a stored datagram: tcp/udp, index 9999, two
// 15-character addresses, five-digit ports and total length, three-digit
// ttl.
inline constexpr size_t kIpv4RowTextMax = 63;
// Longest row of a stored datagram: an IPv6 tcp/udp row (or icmp6, whose
// name is longer and whose ports are 0), index 9999, two 39-character
// addresses, five-digit total length, three-digit hop limit.
inline constexpr size_t kRowTextMax = 111;
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
// only their index, total length and ttl. Direct-mapped, one table per
// family; every entry always holds a correct (key, text) pair (a new cache
// holds the text of 0.0.0.0, or ::, port 0 in both directions), so a lookup
// is one compare. Owned by one capture thread; 8 KiB for IPv4, 8 KiB for
// IPv6.
class RowMiddleCache {
 public:
  RowMiddleCache();
  // Writes the middle part of `facts` at `out` and returns its end. Up to
  // 96 bytes at `out` may be written.
  char* put(char* out, const DatagramFacts& facts);

 private:
  struct alignas(64) Entry {
    char text[48];  // at most 45 characters, then padding
    uint32_t source;
    uint32_t destination;
    uint32_t ports;  // source port << 16 | destination port
    uint32_t length;
  };
  struct alignas(64) Entry6 {
    char text[96];  // at most 93 characters, then padding
    IpAddress source;
    IpAddress destination;
    uint16_t source_port;
    uint16_t destination_port;
    uint32_t length;
  };
  // put for each family.
  char* put4(char* out, const DatagramFacts& facts);
  char* put6(char* out, const DatagramFacts& facts);
  friend void FormatRowText(const DatagramFacts&, uint64_t, RowText&, RowMiddleCache*);
  static constexpr unsigned kIndexBits = 7;
  static constexpr unsigned kIndexBits6 = 5;
  Entry entries_[1u << kIndexBits];
  Entry6 entries6_[1u << kIndexBits6];
};

// Formats the row of `facts` as packet `index`. With a cache, a middle part
// seen before is copied from it; the text is the same.
void FormatRowText(const DatagramFacts& facts, uint64_t index, RowText& row,
                   RowMiddleCache* cache = nullptr);

}  // namespace pw
