#include "decode/tcp_flags.h"

#include <gtest/gtest.h>

#include "support/detail_test_helpers.h"

namespace pw {
namespace {

using namespace test;

TEST(TcpFlags, ThirteenWholeByteValuesHaveSixLinesEveryOtherIsInvalid) {
  const struct {
    uint8_t value;
    Entries lines;
  } known[] = {
      {0x01, FlagLines(0, 0, 0, 0, 0, 1)}, {0x02, FlagLines(0, 0, 0, 0, 1, 0)},
      {0x04, FlagLines(0, 0, 0, 1, 0, 0)}, {0x08, FlagLines(0, 0, 1, 0, 0, 0)},
      {0x10, FlagLines(0, 1, 0, 0, 0, 0)}, {0x11, FlagLines(0, 1, 0, 0, 0, 1)},
      {0x12, FlagLines(0, 1, 0, 0, 1, 0)}, {0x14, FlagLines(0, 1, 0, 1, 0, 0)},
      {0x15, FlagLines(0, 1, 0, 1, 0, 1)}, {0x18, FlagLines(0, 1, 1, 0, 0, 0)},
      {0x19, FlagLines(0, 1, 1, 0, 0, 1)}, {0x20, FlagLines(1, 0, 0, 0, 0, 0)},
      {0xA2, FlagLines(1, 0, 0, 0, 1, 0)},
  };
  int recognised = 0;
  for (int v = 0; v < 256; ++v) {
    const auto value = static_cast<uint8_t>(v);
    Entries expected = {"invalid flags"};
    for (const auto& k : known) {
      if (k.value == value) expected = k.lines;
    }
    recognised += expected.size() == 6;
    EXPECT_EQ(AfterTcpHeader(TcpSegment(value)), expected) << "flags " << v;
  }
  EXPECT_EQ(recognised, 13);
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
