#include "packet/ip_address.h"

#include <cstring>

#include "packet/ipv4_header.h"
#include "text/decimal.h"

namespace pw {

namespace {

constexpr size_t kIpv6Groups = 8;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

uint16_t Group(const IpAddress& a, size_t g) {
  return static_cast<uint16_t>(a.byte(2 * g) << 8 | a.byte(2 * g + 1));
}

IpAddress FromGroups(const uint16_t (&groups)[kIpv6Groups]) {
  uint64_t high = 0;
  uint64_t low = 0;
  for (size_t g = 0; g < 4; ++g) high = high << 16 | groups[g];
  for (size_t g = 4; g < 8; ++g) low = low << 16 | groups[g];
  return IpAddress::V6(high, low);
}

// ::ffff:0:0/96, written with its IPv4 address in dotted decimal.
bool IsIpv4Mapped(const IpAddress& a) {
  return a.high == 0 && (a.low >> 32) == 0xFFFF;
}

char* PutHexGroup(char* out, uint16_t value) {
  static constexpr char kHex[] = "0123456789abcdef";
  bool started = false;
  for (int shift = 12; shift >= 0; shift -= 4) {
    const unsigned digit = value >> shift & 0xF;
    if (digit != 0 || started || shift == 0) {
      *out++ = kHex[digit];
      started = true;
    }
  }
  return out;
}

}  // namespace

IpAddress Ipv6FromBytes(const uint8_t* bytes) {
  uint64_t high = 0;
  uint64_t low = 0;
  for (size_t i = 0; i < 8; ++i) high = high << 8 | bytes[i];
  for (size_t i = 8; i < 16; ++i) low = low << 8 | bytes[i];
  return IpAddress::V6(high, low);
}

bool ReadIpv6Text(std::string_view text, IpAddress& address) {
  uint16_t groups[kIpv6Groups] = {};
  size_t count = 0;    // groups read
  bool compressed = false;  // a "::" was read
  size_t gap = 0;      // where it stands: the count of groups before it
  size_t i = 0;
  const size_t n = text.size();
  if (n > kIpv6TextMax) return false;
  if (n >= 2 && text[0] == ':' && text[1] == ':') {
    compressed = true;
    i = 2;
  } else if (n >= 1 && text[0] == ':') {
    return false;  // a single leading colon
  }
  while (i < n) {
    // A dotted-decimal tail: the last two groups.
    const size_t end = text.find(':', i);
    const std::string_view token = text.substr(i, end == std::string_view::npos ? n - i : end - i);
    if (token.find('.') != std::string_view::npos) {
      uint32_t v4 = 0;
      if (end != std::string_view::npos || count + 2 > kIpv6Groups ||
          !ParseDottedQuad(token, v4)) {
        return false;
      }
      groups[count++] = static_cast<uint16_t>(v4 >> 16);
      groups[count++] = static_cast<uint16_t>(v4);
      i = n;
      break;
    }
    if (token.empty() || token.size() > 4 || count == kIpv6Groups) return false;
    uint16_t value = 0;
    for (const char c : token) {
      const int digit = HexValue(c);
      if (digit < 0) return false;
      value = static_cast<uint16_t>(value << 4 | digit);
    }
    groups[count++] = value;
    i += token.size();
    if (i == n) break;
    ++i;  // the colon
    if (i == n) return false;  // a single trailing colon
    if (text[i] == ':') {
      if (compressed) return false;  // a second "::"
      compressed = true;
      gap = count;
      ++i;
    }
  }
  if (!compressed) {
    if (count != kIpv6Groups) return false;
  } else {
    // "::" stands for at least one zero group.
    if (count == kIpv6Groups) return false;
    const size_t zeros = kIpv6Groups - count;
    for (size_t k = count; k-- > gap;) groups[k + zeros] = groups[k];
    for (size_t k = gap; k < gap + zeros; ++k) groups[k] = 0;
  }
  address = FromGroups(groups);
  return true;
}

char* PutIpv6Text(char* out, const IpAddress& a) {
  if (IsIpv4Mapped(a)) {
    static constexpr char kPrefix[] = "::ffff:";
    std::memcpy(out, kPrefix, sizeof kPrefix - 1);
    out += sizeof kPrefix - 1;
    const DottedQuadText quad = FormatDottedQuad(a.v4());
    const size_t length = std::strlen(quad.text);
    std::memcpy(out, quad.text, length);
    return out + length;
  }
  uint16_t groups[kIpv6Groups];
  for (size_t g = 0; g < kIpv6Groups; ++g) groups[g] = Group(a, g);
  // The longest run of two or more zero groups; the first on a tie.
  size_t best_start = kIpv6Groups;
  size_t best_length = 1;
  for (size_t g = 0; g < kIpv6Groups;) {
    if (groups[g] != 0) {
      ++g;
      continue;
    }
    size_t run = g;
    while (run < kIpv6Groups && groups[run] == 0) ++run;
    if (run - g > best_length) {
      best_start = g;
      best_length = run - g;
    }
    g = run;
  }
  for (size_t g = 0; g < kIpv6Groups; ++g) {
    if (g == best_start) {
      *out++ = ':';
      *out++ = ':';
      g += best_length - 1;
      continue;
    }
    if (g != 0 && g != best_start + best_length) *out++ = ':';
    out = PutHexGroup(out, groups[g]);
  }
  return out;
}

IpAddressText FormatIpAddress(const IpAddress& address) {
  IpAddressText out{};
  size_t length = 0;
  if (address.family == IpFamily::kV4) {
    const DottedQuadText quad = FormatDottedQuad(address.v4());
    length = std::strlen(quad.text);
    std::memcpy(out.text, quad.text, length + 1);
  } else if (address.family == IpFamily::kV6) {
    length = static_cast<size_t>(PutIpv6Text(out.text, address) - out.text);
  }
  out.text[length] = '\0';
  out.length = static_cast<uint8_t>(length);
  return out;
}

}  // namespace pw
