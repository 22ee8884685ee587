// The portable IPv6 reader and formatter against the C library's inet_pton
// and inet_ntop, on texts and addresses made from pieces that exercise
// their rules: zero runs, hexadecimal case, leading zeros, dotted tails.
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "packet/ip_address.h"

namespace pw {
namespace {

TEST(Ipv6TextAgainstLibc, ReadsWhatInetPtonReads) {
  const char* pieces[] = {"0", "1", "ffff", "FfFf", "0db8", "12345", "g", ":", "::", ":::",
                          ".", "1.2.3.4", "255.255.255.255", "01.2.3.4", "256.1.1.1", "%",
                          " ", "]", "00000", "1:2:3:4:5:6:7:8", "1:2:3:4:5:6:7"};
  std::mt19937 random(17);
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    const int n = static_cast<int>(random() % 12);
    for (int k = 0; k < n; ++k) {
      text += pieces[random() % std::size(pieces)];
      if (random() % 3 != 0) text += ':';
    }
    in6_addr expected{};
    const bool libc = inet_pton(AF_INET6, text.c_str(), &expected) == 1;
    IpAddress got;
    ASSERT_EQ(ReadIpv6Text(text, got), libc) << '"' << text << '"';
    if (!libc) continue;
    for (size_t b = 0; b < 16; ++b) ASSERT_EQ(got.byte(b), expected.s6_addr[b]) << text;
  }
}

// inet_ntop follows RFC 5952 too, but for an address whose first 96 bits
// are zero (IPv4-compatible, deprecated) it writes the dotted tail, which
// RFC 5952 keeps for IPv4-mapped addresses: those are left out.
TEST(Ipv6TextAgainstLibc, WritesWhatInetNtopWrites) {
  std::mt19937 random(5952);
  for (int i = 0; i < 200000; ++i) {
    uint8_t bytes[16];
    for (size_t g = 0; g < 8; ++g) {
      const unsigned kind = random() % 4;
      const unsigned value = kind < 2 ? 0 : kind == 2 ? random() % 16 : random() % 65536;
      bytes[2 * g] = static_cast<uint8_t>(value >> 8);
      bytes[2 * g + 1] = static_cast<uint8_t>(value);
    }
    if (random() % 8 == 0) {  // IPv4-mapped
      std::memset(bytes, 0, 10);
      bytes[10] = bytes[11] = 0xFF;
    }
    bool compatible = true;
    for (size_t b = 0; b < 12; ++b) compatible = compatible && bytes[b] == 0;
    if (compatible) continue;
    char expected[INET6_ADDRSTRLEN];
    ASSERT_NE(inet_ntop(AF_INET6, bytes, expected, sizeof expected), nullptr);
    ASSERT_EQ(FormatIpAddress(Ipv6FromBytes(bytes)).view(), expected);
  }
}

}  // namespace
}  // namespace pw
