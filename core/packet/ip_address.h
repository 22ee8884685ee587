// Addresses of either IP family as one small value, their text forms, and
// the reading of an address that a user types.
//
// The one formatter of addresses for rows, reports and the interface lists
// of both front ends: IPv4 as dotted decimal, IPv6 as RFC 5952 gives it
// (lower case, no leading zeros, the longest run of two or more zero groups
// as "::", the first such run on a tie, and an IPv4-mapped address with its
// last 32 bits in dotted decimal, "::ffff:192.0.2.1"). Nothing allocates and
// nothing uses a locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pw {

enum class IpFamily : uint8_t {
  kNone = 0,  // no address: equal to no datagram's address
  kV4 = 4,
  kV6 = 6,
};

// An address of either family, compared by value. The sixteen bytes of an
// IPv6 address in wire order are `high` (bytes 0 to 7, first byte highest)
// and `low` (bytes 8 to 15); an IPv4 address is `low`'s last 32 bits, wire
// order, first byte highest, with `high` 0. Addresses of different families
// are never equal.
struct IpAddress {
  uint64_t high = 0;
  uint64_t low = 0;
  IpFamily family = IpFamily::kNone;

  static constexpr IpAddress V4(uint32_t address) { return {0, address, IpFamily::kV4}; }
  static constexpr IpAddress V6(uint64_t high, uint64_t low) {
    return {high, low, IpFamily::kV6};
  }
  // The IPv4 address in wire order; only for family kV4.
  constexpr uint32_t v4() const { return static_cast<uint32_t>(low); }
  // Byte `i` (0 to 15) of an IPv6 address.
  constexpr uint8_t byte(size_t i) const {
    return static_cast<uint8_t>((i < 8 ? high >> (56 - 8 * i) : low >> (56 - 8 * (i - 8))));
  }

  friend constexpr bool operator==(const IpAddress& a, const IpAddress& b) {
    return a.low == b.low && a.high == b.high && a.family == b.family;
  }
};

// The IPv6 address of sixteen bytes in wire order.
IpAddress Ipv6FromBytes(const uint8_t* bytes);

// The longest IPv6 text that ReadIpv6Text takes:
// "ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255". The longest that
// FormatIpAddress writes is 39 characters.
inline constexpr size_t kIpv6TextMax = 45;

// Reads an IPv6 address in any form that the C library's inet_pton takes
// for AF_INET6: eight groups of one to four hexadecimal digits of either
// case, separated by single colons; one "::" for a run of one or more zero
// groups; the last two groups may be written as a dotted-decimal IPv4
// address (four numbers 0 to 255 without leading zeros). Nothing before or
// after it: no brackets, no zone, no blanks. False for any other text.
bool ReadIpv6Text(std::string_view text, IpAddress& address);

// "a.b.c.d" of an IPv4 address, or the RFC 5952 text of an IPv6 address;
// empty for kNone.
struct IpAddressText {
  char text[kIpv6TextMax + 1];
  uint8_t length;
  std::string_view view() const { return {text, length}; }
};
IpAddressText FormatIpAddress(const IpAddress& address);

// Writes the RFC 5952 text of an IPv6 address at `out` and returns its end.
// At most 39 characters are written.
char* PutIpv6Text(char* out, const IpAddress& address);

}  // namespace pw
