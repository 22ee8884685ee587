#include "ui/details_selection.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/detail_test_helpers.h"

namespace pw {
namespace {

using namespace test;

class DetailsCommandTest : public ::testing::Test {
 protected:
  std::unique_ptr<CaptureStore> store_ = std::make_unique<CaptureStore>();
  DetailReport report_;
  int32_t selected_ = 0;

  DetailsOutcome Decode(int32_t selected) {
    selected_ = selected;
    return DecodeSelectedPacket(*store_, selected_, kFirstRun, report_);
  }
};

TEST_F(DetailsCommandTest, EmptyStoreGivesNoDataAndLeavesTheIndexAlone) {
  ResetCaptureStore(*store_);
  report_.entries = {"left over"};
  EXPECT_EQ(Decode(-1), DetailsOutcome::kNoData);
  EXPECT_TRUE(report_.entries.empty());
  EXPECT_EQ(selected_, -1);
  EXPECT_STREQ(kNoDataRow, "don't found data!");
}

TEST_F(DetailsCommandTest, NoSelectionDecodesPacketZeroAndKeepsZero) {
  StoreFiller filler(*store_);
  filler.add(FixtureBytes(test::kUdpAbcdefgh), kProtoUdp);
  filler.add(FixtureBytes(test::kRaw), kProtoRaw);
  ASSERT_EQ(Decode(-1), DetailsOutcome::kReport);
  EXPECT_EQ(selected_, 0);
  EXPECT_EQ(report_.entries[2], "packet0 udp ");
}

TEST_F(DetailsCommandTest, PacketOneIsReadBehindAFirstDatagramOfSixtyBytes) {
  StoreFiller filler(*store_);
  std::vector<uint8_t> first = FixtureBytes(test::kTcpSyn);
  ASSERT_EQ(first.size(), 60u);
  filler.add(first, kProtoTcp);
  filler.add(FixtureBytes(test::kIcmpEchoRequest), kProtoIcmp);
  ASSERT_EQ(Decode(1), DetailsOutcome::kReport);
  EXPECT_EQ(Entries(report_.entries.begin(), report_.entries.begin() + 5),
            (Entries{"packets source:", "", "packet1 icmp", "Echo Request (8)", "identifier = 4660"}));
}

TEST_F(DetailsCommandTest, IndexOfAnEarlierCaptureIsRefused) {
  StoreFiller first(*store_);
  for (int k = 0; k < 5; ++k) first.add(FixtureBytes(test::kTcpSyn), kProtoTcp);
  StoreFiller second(*store_);  // a new start: reset, length table kept
  second.add(FixtureBytes(test::kRaw), kProtoRaw);
  second.add(FixtureBytes(test::kRaw), kProtoRaw);
  for (int32_t index : {2, 4, 9999, 16383, 16384, -2, INT32_MIN}) {
    EXPECT_EQ(Decode(index), DetailsOutcome::kNoData) << index;
    EXPECT_TRUE(report_.entries.empty());
    EXPECT_EQ(selected_, index);
  }
  EXPECT_EQ(Decode(1), DetailsOutcome::kReport);
  EXPECT_EQ(DecodePacket(*store_, 2, kFirstRun, report_), DecodeResult::kNotStored);
}

TEST_F(DetailsCommandTest, RawPacketSevenMakesFourEntriesWithTheThirdSelected) {
  StoreFiller filler(*store_);
  for (int k = 0; k < 8; ++k) filler.add(FixtureBytes(test::kRaw), kProtoRaw);
  ASSERT_EQ(Decode(7), DetailsOutcome::kReport);
  // The header line, then the IPv4 lines.
  EXPECT_EQ(Entries(report_.entries.begin(), report_.entries.begin() + 4),
            (Entries{"packets source:", "", "packet7 raw", "version = 4"}));
  const DetailsSelection selection = SelectHeaderLine(report_.entries, 7);
  EXPECT_EQ(selection.select_index, 2);
  EXPECT_EQ(selection.scroll_index, 9);
  // 2 + 7 past the end selects the last entry.
  EXPECT_EQ(SelectHeaderLine({"packets source:", "", "packet7 raw", ""}, 7).scroll_index, 3);
}

TEST(DetailsSelection, HeaderLineSelectedWithSevenLinesBelowItInView) {
  for (const Fixture* fixture : kAllFixtures) {
    SCOPED_TRACE(fixture->name);
    const DetailReport report = DecodeStored(*fixture, kFirstRun);
    const DetailsSelection selection = SelectHeaderLine(report.entries, fixture->index);
    EXPECT_EQ(selection.select_index, 2);
    EXPECT_EQ(selection.scroll_index,
              std::min<int>(9, static_cast<int>(report.entries.size()) - 1));
  }
  EXPECT_EQ(SelectHeaderLine({"packets source:", ""}, 0).select_index, -1);
}

TEST(FindEntryWithPrefix, FirstEntryBeginningWithTheTextIgnoringCase) {
  const Entries entries = {"packets source:", "", "PACKET12 tcp", "packet1 tcp", "packet1"};
  EXPECT_EQ(FindEntryWithPrefix(entries, "packet1"), 2);  // "PACKET12" begins with it
  EXPECT_EQ(FindEntryWithPrefix(entries, "Packet1 "), 3);
  EXPECT_EQ(FindEntryWithPrefix(entries, "packets"), 0);
  EXPECT_EQ(FindEntryWithPrefix(entries, "packet1 tcp!"), -1);
  EXPECT_EQ(FindEntryWithPrefix({}, "packet0"), -1);
}

}  // namespace
}  // namespace pw
