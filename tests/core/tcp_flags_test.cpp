#include "decode/tcp_flags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "support/detail_test_helpers.h"

namespace pw {
namespace {

using namespace test;

// The flag bytes of a connection's life that have a text: each flag alone,
// ACK with FIN, SYN, RST, RST and FIN, PSH, PSH and FIN, and URG with SYN
// and the high bit 0x80 (0xA2).
constexpr uint8_t kKnownFlags[] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x11,
                                   0x12, 0x14, 0x15, 0x18, 0x19, 0xA2};

// The six lines of a known value follow its six low bits.
Entries LinesOfBits(uint8_t v) {
  return FlagLines(v & 0x20, v & 0x10, v & 0x08, v & 0x04, v & 0x02, v & 0x01);
}

TEST(TcpFlags, KnownByteValuesShowTheirSixBitsEveryOtherIsInvalid) {
  for (int v = 0; v < 256; ++v) {
    const auto value = static_cast<uint8_t>(v);
    const bool known = std::find(std::begin(kKnownFlags), std::end(kKnownFlags), value) !=
                       std::end(kKnownFlags);
    EXPECT_EQ(IsKnownTcpFlags(value), known) << "flags " << v;
    const Entries expected = known ? LinesOfBits(value) : Entries{"invalid flags"};
    EXPECT_EQ(AfterTcpHeader(TcpSegment(value)), expected) << "flags " << v;
  }
}

TEST(TcpFlags, MssLineOnlyWhenTheFirstOptionIsMss) {
  EXPECT_EQ(AfterTcpHeader(TcpSegment(0x02, {2, 4, 2, 0x18})).back(), "MSS = 536");
  // The option's length byte is not examined.
  EXPECT_EQ(AfterTcpHeader(TcpSegment(0x02, {2, 0, 0xFF, 0xFF})).back(), "MSS = 65535");
  // Options that begin with no-operation bytes: no MSS line.
  EXPECT_EQ(AfterTcpHeader(TcpSegment(0x02, {1, 1, 2, 4, 2, 0x18, 0, 0})).size(), 6u);
  // A 20-byte header: the first payload byte is no option, whatever it is.
  EXPECT_EQ(AfterTcpHeader(TcpSegment(0x02, {}, {2, 4, 2, 0x18}), kNoViews),
            Plus(FlagLines(0, 0, 0, 0, 1, 0), {"data length = 4"}));
}

// The lines added behind the flags text: the 12 flag bits with each set one
// named, and every option in order until the list ends or is malformed.
TEST(TcpFlags, FlagBitsAndOptionsInOrder) {
  auto added = [](std::vector<uint8_t> d, uint8_t byte12_low = 0) {
    d[20 + 12] |= byte12_low;
    const Entries e = Decode(d, kProtoTcp, 0, kNoViews);
    return Between(e, "flags = ", "tcp checksum = ");
  };
  EXPECT_EQ(added(TcpSegment(0xC2), 1)[0], "flags = 0x1c2 (SYN, ECE, CWR, AE)");
  EXPECT_EQ(added(TcpSegment(0x52))[0], "flags = 0x052 (SYN, ACK, ECE)");
  EXPECT_EQ(added(TcpSegment(0x00))[0], "flags = 0x000");
  const struct {
    std::vector<uint8_t> options;
    Entries lines;
  } cases[] = {
      {{1, 3, 3, 14, 4, 2, 0, 0}, {"option = no-op", "option window scale = 14 (multiply by 16384)",
                                   "option = sack permitted", "option = end of options list"}},
      // A shift over 14 counts as 14.
      {{3, 3, 15, 0}, {"option window scale = 15 (multiply by 16384)", "option = end of options list"}},
      {{5, 10, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0}, {"option sack left edge = 1", "option sack right edge = 2",
                                               "option = end of options list"}},
      {{30, 4, 0, 0}, {"option 30, length 4"}},
      {{2, 3, 5, 0}, {"tcp options malformed: option 2, length 3"}},   // MSS of 3 bytes
      {{1, 99, 9, 0}, {"option = no-op", "tcp options malformed: option 99, length 9"}},
      {{1, 1, 1, 8}, {"option = no-op", "option = no-op", "option = no-op",
                      "tcp options malformed: option 8, length 0"}},  // no room for a length
      {{5, 2, 0, 0}, {"tcp options malformed: option 5, length 2"}},  // SACK without a block
  };
  for (const auto& c : cases) {
    const Entries lines = added(TcpSegment(0x10, c.options));
    EXPECT_EQ(Entries(lines.begin() + 3, lines.end()), c.lines) << c.lines[0];
  }
}

}  // namespace
}  // namespace pw
