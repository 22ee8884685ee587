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

}  // namespace
}  // namespace pw
