// Packet filter and list row.
//
// "go!" turns the user's fields into FilterSettings (the "from" and "to"
// fields of the form address:port, "both traffic" and the five protocol
// switches). The capture thread then decides for every received datagram
// whether it is stored and builds its row text: eight tab-prefixed fields,
// the same text the main list shows and the sniff log records.
//
// The decision and the row text depend only on the datagram's bytes, its
// received length, the packet index and the settings. They allocate nothing
// and use no locale: this is the capture thread's per-datagram path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pw {

// A field text is cut to this many characters when read.
inline constexpr size_t kFieldTextMax = 23;
// Longest row: tcp/udp, index 9999, two 15-character addresses, five-digit
// ports and total length, three-digit ttl.
inline constexpr size_t kRowTextMax = 63;
inline constexpr size_t kIpv4HeaderMin = 20;

inline constexpr uint8_t kProtoIcmp = 1;
inline constexpr uint8_t kProtoIgmp = 2;
inline constexpr uint8_t kProtoTcp = 6;
inline constexpr uint8_t kProtoUdp = 17;
inline constexpr uint8_t kProtoRaw = 255;

enum class AddressMode : uint8_t {
  kAny,      // every address passes
  kAddress,  // the address text must equal the datagram's dotted decimal
};

// An address text prepared for comparison with a datagram's address. A
// datagram's address text is always dotted decimal without leading zeros, so
// a text in any other form (a host name, "010.0.0.1", " 10.0.0.1", "") can
// never be equal to it; such a text gets matchable = false.
struct AddressKey {
  bool matchable;
  uint32_t address;  // the four bytes in wire order, first byte highest
};

// One side ("from" or "to") of the filter.
struct FilterSide {
  char address[kFieldTextMax + 1];  // NUL-terminated; "*:*" without a colon
  AddressMode mode;
  uint16_t port;  // 0: any port
  AddressKey key;
};

struct ProtocolSwitches {
  bool tcp;
  bool udp;
  bool icmp;
  bool igmp;
  bool raw;
};

// Built completely at every "go!" by the functions below; read-only for the
// capture thread afterwards.
struct FilterSettings {
  FilterSide from;
  FilterSide to;
  // The reverse pair of "both traffic": a second (source, destination) pair
  // that passes the address rule. Empty texts match no datagram.
  char reverse_source[kFieldTextMax + 1];
  char reverse_destination[kFieldTextMax + 1];
  AddressKey reverse_source_key;
  AddressKey reverse_destination_key;
  ProtocolSwitches protocols;
};

// Any address and any port on both sides, no reverse pair, no protocol.
void ClearFilterSettings(FilterSettings& settings);

// Parses one field text (at most 23 characters of it are taken) into a side:
// the text after the last colon is the port ("*" or a number), the text
// before it the address ("*" for any); without a colon the side is any
// address, any port, with the address text "*:*".
void ParseFilterField(std::string_view field_text, FilterSide& side);

// Converts a port text the way the field parser does: "*" gives 0; otherwise
// leading white space, an optional sign and decimal digits up to the first
// other character; no digits, or a value outside 0 to 65,535, give 0.
uint16_t ParsePortText(std::string_view text);

// Sets the reverse pair after both fields are parsed: with "both traffic"
// and neither port given, (to address, from address); otherwise empty.
void SetReversePair(FilterSettings& settings, bool both_traffic);

// Everything "go!" reads from the fields, in the order it reads them.
FilterSettings BuildFilterSettings(std::string_view from_field,
                                   std::string_view to_field,
                                   bool both_traffic,
                                   const ProtocolSwitches& protocols);

// The values of a datagram that the filter and the row use.
struct DatagramFacts {
  uint8_t protocol;
  uint8_t ttl;
  uint16_t total_length;  // the header's field, not the received length
  uint32_t source;        // wire order, first byte highest
  uint32_t destination;
  uint16_t source_port;   // tcp and udp only; 0 otherwise
  uint16_t destination_port;
};

// Reads the facts of a datagram of `length` received bytes. Bytes beyond
// the received length read as 0: a datagram shorter than 20 bytes, or a
// tcp/udp datagram whose bytes end before header length + 4, gets zeros for
// what is missing rather than bytes of an earlier receive.
DatagramFacts ReadDatagramFacts(const uint8_t* bytes, size_t length);

// The filter decision: address rule, protocol rule, port rule, in that order.
bool PassesFilter(const DatagramFacts& facts, const FilterSettings& settings);

// "tcp", "udp", "icmp", "igmp", "raw"; empty for any other protocol.
std::string_view ProtocolName(uint8_t protocol);

struct RowText {
  // NUL-terminated, at most kRowTextMax characters. The array is longer so
  // that the formatter can write addresses and numbers in fixed-size pieces.
  char text[kRowTextMax + 33];
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
  char* Put(char* out, const DatagramFacts& facts);

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

// "\t" index "\t" name "\t" source "\t" sport "\t" destination "\t" dport
// "\t" total length "\t" ttl; ports are 0 for icmp, igmp and raw. With a
// cache, a middle part seen before is copied from it; the text is the same.
void FormatRowText(const DatagramFacts& facts, uint32_t index, RowText& row,
                   RowMiddleCache* cache = nullptr);

// Facts, decision and row in one step, for the capture thread. Returns true
// and fills `row` and `protocol` when the datagram is to be stored.
bool FilterAndDescribe(const uint8_t* bytes, size_t length, uint32_t index,
                       const FilterSettings& settings, RowText& row,
                       uint8_t& protocol, RowMiddleCache* cache = nullptr);

}  // namespace pw
