#include "engine/row_text.h"

#include <array>
#include <cstring>

namespace pw {

namespace {

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

// A row's index: a capture into a file numbers past what 32 bits hold.
char* PutIndex(char* out, uint64_t index) {
  if (index <= UINT32_MAX) return PutDecimal(out, static_cast<uint32_t>(index));
  const uint64_t high = index / 1'000'000'000;
  out = PutIndex(out, high);
  const auto low = static_cast<uint32_t>(index % 1'000'000'000);
  char nine[9];
  char* end = PutDecimal(nine, low);
  const auto digits = static_cast<size_t>(end - nine);
  std::memset(out, '0', 9 - digits);
  std::memcpy(out + 9 - digits, nine, digits);
  return out + 9;
}

// Protocol names padded to eight bytes, for a fixed-size copy; empty for a
// protocol that is never stored.
struct Name {
  char text[8];
  uint32_t length;
};

constexpr std::array<Name, 256> MakeNameTable() {
  std::array<Name, 256> table{};
  for (const StoredProtocol& p : kStoredProtocols) {
    Name& n = table[p.number];
    for (size_t i = 0; i < p.name.size() && i < 8; ++i) n.text[i] = p.name[i];
    n.length = static_cast<uint32_t>(p.name.size());
  }
  return table;
}

constexpr std::array<Name, 256> kNames = MakeNameTable();

// "\t" source "\t" source port "\t" destination "\t" destination port "\t"
// of an IPv4 datagram: at most 45 characters; up to 48 bytes are written.
char* PutMiddle(char* p, const DatagramFacts& facts) {
  *p++ = '\t';
  p = PutAddress(p, facts.source.v4());
  *p++ = '\t';
  p = PutDecimal(p, facts.source_port);
  *p++ = '\t';
  p = PutAddress(p, facts.destination.v4());
  *p++ = '\t';
  p = PutDecimal(p, facts.destination_port);
  *p++ = '\t';
  return p;
}

// The same of an IPv6 datagram: at most 93 characters, all of them written.
char* PutMiddle6(char* p, const DatagramFacts& facts) {
  *p++ = '\t';
  p = PutIpv6Text(p, facts.source);
  *p++ = '\t';
  p = PutDecimal(p, facts.source_port);
  *p++ = '\t';
  p = PutIpv6Text(p, facts.destination);
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
    e.ports = 0;
    e.length = static_cast<uint32_t>(PutMiddle(e.text, zero) - e.text);
  }
  zero.source = zero.destination = IpAddress::V6(0, 0);
  for (Entry6& e : entries6_) {
    e.source = e.destination = zero.source;
    e.source_port = e.destination_port = 0;
    e.length = static_cast<uint32_t>(PutMiddle6(e.text, zero) - e.text);
  }
}

char* RowMiddleCache::put6(char* out, const DatagramFacts& f) {
  const uint64_t ports = uint64_t{f.source_port} << 16 | f.destination_port;
  const uint64_t mixed = (f.source.high ^ f.source.low) * 0x9E3779B97F4A7C15ull ^
                         (f.destination.high ^ f.destination.low) * 0xC2B2AE3D27D4EB4Full ^
                         ports * 0x165667B19E3779F9ull;
  Entry6& e = entries6_[mixed >> (64 - kIndexBits6)];
  if (!(e.source == f.source) || !(e.destination == f.destination) ||
      e.source_port != f.source_port || e.destination_port != f.destination_port) {
    e.source = f.source;
    e.destination = f.destination;
    e.source_port = f.source_port;
    e.destination_port = f.destination_port;
    e.length = static_cast<uint32_t>(PutMiddle6(e.text, f) - e.text);
  }
  std::memcpy(out, e.text, sizeof e.text);
  return out + e.length;
}

char* RowMiddleCache::put(char* out, const DatagramFacts& f) {
  return f.family == IpFamily::kV6 ? put6(out, f) : put4(out, f);
}

char* RowMiddleCache::put4(char* out, const DatagramFacts& f) {
  const uint32_t source = f.source.v4();
  const uint32_t destination = f.destination.v4();
  const uint32_t ports = uint32_t{f.source_port} << 16 | f.destination_port;
  const uint32_t hash = source * 0x9E3779B1u ^ destination * 0x85EBCA77u ^
                        ports * 0xC2B2AE3Du;
  Entry& e = entries_[hash >> (32 - kIndexBits)];
  // The ports are compared as the one number the hash took: read as two
  // fields, as the facts were written.
  if (e.source != source || e.destination != destination || e.ports != ports) {
    e.source = source;
    e.destination = destination;
    e.ports = ports;
    e.length = static_cast<uint32_t>(PutMiddle(e.text, f) - e.text);
  }
  std::memcpy(out, e.text, sizeof e.text);
  return out + e.length;
}

namespace {

// The row of an IPv6 datagram: its own path, so that the IPv4 one below
// stays as short as it was.
void FormatRowText6(const DatagramFacts& facts, uint64_t index, RowText& row,
                    RowMiddleCache* cache) {
  char* p = row.text;
  *p++ = '\t';
  p = PutIndex(p, index);
  *p++ = '\t';
  const Name& name = kNames[facts.protocol];
  std::memcpy(p, name.text, sizeof name.text);
  p += name.length;
  p = cache != nullptr ? cache->put(p, facts) : PutMiddle6(p, facts);
  p = PutDecimal(p, facts.total_length);
  *p++ = '\t';
  const Octet& hop_limit = kOctets[facts.ttl];
  std::memcpy(p, hop_limit.text, 4);
  p += hop_limit.count - 1;
  const size_t n = static_cast<size_t>(p - row.text);
  row.text[n] = '\0';
  row.length = static_cast<uint8_t>(n);
}

}  // namespace

// Flattened: the number and address formatting is inlined into this one
// function, which the capture thread calls for every stored datagram.
#if defined(__GNUC__)
__attribute__((flatten))
#endif
void FormatRowText(const DatagramFacts& facts, uint64_t index, RowText& row,
                   RowMiddleCache* cache) {
  if (facts.family == IpFamily::kV6) {
    FormatRowText6(facts, index, row, cache);
    return;
  }
  // Worst case kIpv4RowTextMax characters with a four-digit index; the text
  // array has slack for the fixed-size copies.
  char* p = row.text;
  *p++ = '\t';
  p = PutIndex(p, index);
  *p++ = '\t';
  // IPv4's names have at most four letters.
  const Name& name = kNames[facts.protocol];
  std::memcpy(p, name.text, 4);
  p += name.length;
  p = cache ? cache->put4(p, facts) : PutMiddle(p, facts);
  p = PutDecimal(p, facts.total_length);
  *p++ = '\t';
  // The ttl from the octet table: its point falls where the NUL goes.
  const Octet& ttl = kOctets[facts.ttl];
  std::memcpy(p, ttl.text, 4);
  p += ttl.count - 1;
  const size_t n = static_cast<size_t>(p - row.text);
  row.text[n] = '\0';
  row.length = static_cast<uint8_t>(n);
}

}  // namespace pw
