#include "capture/filter.h"

#include <array>
#include <cstring>

namespace pw {

namespace {

constexpr char kAnyAddressText[] = "*:*";

void CopyText(std::string_view text, char (&out)[kFieldTextMax + 1]) {
  const size_t n = text.size() < kFieldTextMax ? text.size() : kFieldTextMax;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A text matches a datagram address only when it is written exactly as the
// address would be printed: four decimal numbers 0 to 255 without leading
// zeros, separated by single points, nothing before or after.
AddressKey MakeAddressKey(const char* text) {
  AddressKey key{false, 0};
  uint32_t address = 0;
  const char* p = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (*p != '.') return key;
      ++p;
    }
    if (!IsDigit(*p)) return key;
    if (*p == '0' && IsDigit(p[1])) return key;  // leading zero
    uint32_t value = 0;
    int digits = 0;
    while (IsDigit(*p)) {
      if (++digits > 3) return key;
      value = value * 10 + static_cast<uint32_t>(*p - '0');
      ++p;
    }
    if (value > 255) return key;
    address = (address << 8) | value;
  }
  if (*p != '\0') return key;
  key.matchable = true;
  key.address = address;
  return key;
}

bool KeyMatches(const AddressKey& key, uint32_t address) {
  return key.matchable && key.address == address;
}

uint8_t ByteAt(const uint8_t* bytes, size_t length, size_t i) {
  return i < length ? bytes[i] : uint8_t{0};
}

uint16_t U16At(const uint8_t* bytes, size_t length, size_t i) {
  return static_cast<uint16_t>(ByteAt(bytes, length, i) << 8 |
                               ByteAt(bytes, length, i + 1));
}

// Text of 0 to 255 followed by a point, padded to four bytes, with the
// number of characters that count (digits and point): an address is four
// fixed-size copies.
struct Octet {
  char text[4];
  uint32_t count;
};

constexpr std::array<Octet, 256> MakeOctetTable() {
  std::array<Octet, 256> table{};
  for (int v = 0; v < 256; ++v) {
    Octet& o = table[static_cast<size_t>(v)];
    int n = 0;
    if (v >= 100) o.text[n++] = static_cast<char>('0' + v / 100);
    if (v >= 10) o.text[n++] = static_cast<char>('0' + v / 10 % 10);
    o.text[n++] = static_cast<char>('0' + v % 10);
    o.text[n++] = '.';
    o.count = static_cast<uint32_t>(n);
  }
  return table;
}

constexpr std::array<Octet, 256> kOctets = MakeOctetTable();

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes four bytes at `out` and returns the end of the address text; the
// caller's buffer has room for the extra byte.
char* PutAddress(char* out, uint32_t address) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    const Octet& o = kOctets[(address >> shift) & 0xFF];
    std::memcpy(out, o.text, 4);
    out += o.count;
  }
  return out - 1;  // the point after the last number is not part of it
}

char* PutPair(char* out, uint32_t v) {
  std::memcpy(out, kDigitPairs + 2 * v, 2);
  return out + 2;
}

char* PutDecimal(char* out, uint32_t value) {
  if (value < 10) {
    *out = static_cast<char>('0' + value);
    return out + 1;
  }
  if (value < 100) return PutPair(out, value);
  if (value < 1000) {
    *out = static_cast<char>('0' + value / 100);
    return PutPair(out + 1, value % 100);
  }
  if (value < 10000) return PutPair(PutPair(out, value / 100), value % 100);
  if (value < 100000) {
    *out = static_cast<char>('0' + value / 10000);
    return PutPair(PutPair(out + 1, value / 100 % 100), value % 100);
  }
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) *out++ = digits[--n];
  return out;
}

// Protocol names padded to four bytes, for a fixed-size copy.
struct Name {
  char text[4];
  uint32_t length;
};

Name RowName(uint8_t protocol) {
  switch (protocol) {
    case kProtoTcp: return {{'t', 'c', 'p', 0}, 3};
    case kProtoUdp: return {{'u', 'd', 'p', 0}, 3};
    case kProtoIgmp: return {{'i', 'g', 'm', 'p'}, 4};
    case kProtoIcmp: return {{'i', 'c', 'm', 'p'}, 4};
    case kProtoRaw: return {{'r', 'a', 'w', 0}, 3};
    default: return {{0, 0, 0, 0}, 0};
  }
}

// "\t" source "\t" source port "\t" destination "\t" destination port "\t":
// at most 45 characters; up to 48 bytes are written.
char* PutMiddle(char* p, const DatagramFacts& facts) {
  *p++ = '\t';
  p = PutAddress(p, facts.source);
  *p++ = '\t';
  p = PutDecimal(p, facts.source_port);
  *p++ = '\t';
  p = PutAddress(p, facts.destination);
  *p++ = '\t';
  p = PutDecimal(p, facts.destination_port);
  *p++ = '\t';
  return p;
}

}  // namespace

RowMiddleCache::RowMiddleCache() {
  DatagramFacts zero{};
  for (Entry& e : entries_) {
    e.source = e.destination = 0;
    e.source_port = e.destination_port = 0;
    e.length = static_cast<uint32_t>(PutMiddle(e.text, zero) - e.text);
  }
}

char* RowMiddleCache::Put(char* out, const DatagramFacts& f) {
  const uint32_t ports = uint32_t{f.source_port} << 16 | f.destination_port;
  const uint32_t hash = f.source * 0x9E3779B1u ^ f.destination * 0x85EBCA77u ^
                        ports * 0xC2B2AE3Du;
  Entry& e = entries_[hash >> (32 - kIndexBits)];
  if (e.source != f.source || e.destination != f.destination ||
      e.source_port != f.source_port || e.destination_port != f.destination_port) {
    e.source = f.source;
    e.destination = f.destination;
    e.source_port = f.source_port;
    e.destination_port = f.destination_port;
    e.length = static_cast<uint32_t>(PutMiddle(e.text, f) - e.text);
  }
  std::memcpy(out, e.text, sizeof e.text);
  return out + e.length;
}

void ClearFilterSettings(FilterSettings& settings) {
  std::memset(&settings, 0, sizeof settings);
  for (FilterSide* side : {&settings.from, &settings.to}) {
    CopyText(kAnyAddressText, side->address);
    side->mode = AddressMode::kAny;
  }
}

uint16_t ParsePortText(std::string_view text) {
  if (text == "*") return 0;
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  uint32_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    if (value > 65535) return 0;  // out of range however many digits follow
  }
  if (negative && value != 0) return 0;
  return static_cast<uint16_t>(value);
}

void ParseFilterField(std::string_view field_text, FilterSide& side) {
  CopyText(field_text, side.address);
  const std::string_view text(side.address);
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) {
    CopyText(kAnyAddressText, side.address);
    side.mode = AddressMode::kAny;
    side.port = 0;
    side.key = MakeAddressKey(side.address);
    return;
  }
  side.port = ParsePortText(text.substr(colon + 1));
  side.address[colon] = '\0';
  side.mode = std::strcmp(side.address, "*") == 0 ? AddressMode::kAny
                                                  : AddressMode::kAddress;
  side.key = MakeAddressKey(side.address);
}

void SetReversePair(FilterSettings& settings, bool both_traffic) {
  if (both_traffic && settings.from.port == 0 && settings.to.port == 0) {
    CopyText(settings.to.address, settings.reverse_source);
    CopyText(settings.from.address, settings.reverse_destination);
  } else {
    settings.reverse_source[0] = '\0';
    settings.reverse_destination[0] = '\0';
  }
  settings.reverse_source_key = MakeAddressKey(settings.reverse_source);
  settings.reverse_destination_key =
      MakeAddressKey(settings.reverse_destination);
}

FilterSettings BuildFilterSettings(std::string_view from_field,
                                   std::string_view to_field,
                                   bool both_traffic,
                                   const ProtocolSwitches& protocols) {
  FilterSettings settings;
  ClearFilterSettings(settings);
  ParseFilterField(from_field, settings.from);
  ParseFilterField(to_field, settings.to);
  SetReversePair(settings, both_traffic);
  settings.protocols = protocols;
  return settings;
}

DatagramFacts ReadDatagramFacts(const uint8_t* bytes, size_t length) {
  if (length < kIpv4HeaderMin) {
    // Fewer bytes than a header (the capture loop drops these, but the
    // facts must stay defined): read from a zero-padded copy.
    uint8_t padded[kIpv4HeaderMin] = {};
    if (length > 0) std::memcpy(padded, bytes, length);
    DatagramFacts facts = ReadDatagramFacts(padded, kIpv4HeaderMin);
    if (facts.protocol == kProtoTcp || facts.protocol == kProtoUdp) {
      facts.source_port = facts.destination_port = 0;  // past the end
    }
    return facts;
  }
  const uint8_t* h = bytes;
  DatagramFacts facts;
  facts.protocol = h[9];
  facts.ttl = h[8];
  facts.total_length = static_cast<uint16_t>(h[2] << 8 | h[3]);
  facts.source = uint32_t{h[12]} << 24 | uint32_t{h[13]} << 16 |
                 uint32_t{h[14]} << 8 | h[15];
  facts.destination = uint32_t{h[16]} << 24 | uint32_t{h[17]} << 16 |
                      uint32_t{h[18]} << 8 | h[19];
  facts.source_port = 0;
  facts.destination_port = 0;
  if (facts.protocol == kProtoTcp || facts.protocol == kProtoUdp) {
    const size_t header_length = static_cast<size_t>(h[0] & 0x0F) * 4;
    if (header_length + 4 <= length) {
      facts.source_port = static_cast<uint16_t>(h[header_length] << 8 | h[header_length + 1]);
      facts.destination_port =
          static_cast<uint16_t>(h[header_length + 2] << 8 | h[header_length + 3]);
    } else {
      // The datagram ends before header length + 4: the missing port bytes
      // read as 0 rather than as bytes of an earlier receive.
      facts.source_port = U16At(bytes, length, header_length);
      facts.destination_port = U16At(bytes, length, header_length + 2);
    }
  }
  return facts;
}

bool PassesFilter(const DatagramFacts& facts, const FilterSettings& s) {
  // Address rule.
  const bool from_any = s.from.mode == AddressMode::kAny;
  const bool to_any = s.to.mode == AddressMode::kAny;
  if (from_any && !to_any) {
    if (!KeyMatches(s.to.key, facts.destination)) return false;
  } else if (!from_any && to_any) {
    if (!KeyMatches(s.from.key, facts.source)) return false;
  } else if (!from_any && !to_any) {
    const bool forward = KeyMatches(s.from.key, facts.source) &&
                         KeyMatches(s.to.key, facts.destination);
    const bool reverse = KeyMatches(s.reverse_source_key, facts.source) &&
                         KeyMatches(s.reverse_destination_key, facts.destination);
    if (!forward && !reverse) return false;
  }

  // Protocol rule.
  bool ports_apply = false;
  switch (facts.protocol) {
    case kProtoTcp:
      if (!s.protocols.tcp) return false;
      ports_apply = true;
      break;
    case kProtoUdp:
      if (!s.protocols.udp) return false;
      ports_apply = true;
      break;
    case kProtoIgmp:
      if (!s.protocols.igmp) return false;
      break;
    case kProtoIcmp:
      if (!s.protocols.icmp) return false;
      break;
    case kProtoRaw:
      if (!s.protocols.raw) return false;
      break;
    default:
      return false;
  }

  // Port rule: only from the "from" side to the "to" side.
  if (ports_apply) {
    if (s.from.port != 0 && facts.source_port != s.from.port) return false;
    if (s.to.port != 0 && facts.destination_port != s.to.port) return false;
  }
  return true;
}

std::string_view ProtocolName(uint8_t protocol) {
  switch (protocol) {
    case kProtoTcp: return "tcp";
    case kProtoUdp: return "udp";
    case kProtoIgmp: return "igmp";
    case kProtoIcmp: return "icmp";
    case kProtoRaw: return "raw";
    default: return {};
  }
}

void FormatRowText(const DatagramFacts& facts, uint32_t index, RowText& row,
                   RowMiddleCache* cache) {
  // Worst case 63 characters (70 with an index above 9999); the text array
  // has slack for the fixed-size copies.
  char* p = row.text;
  *p++ = '\t';
  p = PutDecimal(p, index);
  *p++ = '\t';
  const Name name = RowName(facts.protocol);
  std::memcpy(p, name.text, 4);
  p += name.length;
  p = cache ? cache->Put(p, facts) : PutMiddle(p, facts);
  p = PutDecimal(p, facts.total_length);
  *p++ = '\t';
  // The ttl from the octet table: its point falls where the NUL goes.
  const Octet& ttl = kOctets[facts.ttl];
  std::memcpy(p, ttl.text, 4);
  p += ttl.count - 1;
  size_t n = static_cast<size_t>(p - row.text);
  if (n > kRowTextMax) n = kRowTextMax;  // only an index above 9999 gets here
  row.text[n] = '\0';
  row.length = static_cast<uint8_t>(n);
}

// The capture loop's step for every received datagram. Flattened: the
// facts, the filter and the row are inlined into this one function, which
// saves a good third of its time.
#if defined(__GNUC__)
__attribute__((flatten))
#endif
bool FilterAndDescribe(const uint8_t* bytes, size_t length, uint32_t index,
                       const FilterSettings& settings, RowText& row,
                       uint8_t& protocol, RowMiddleCache* cache) {
  const DatagramFacts facts = ReadDatagramFacts(bytes, length);
  if (!PassesFilter(facts, settings)) return false;
  FormatRowText(facts, index, row, cache);
  protocol = facts.protocol;
  return true;
}

}  // namespace pw
