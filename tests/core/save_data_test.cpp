#include "files/save_data.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/capture_files.h"
#include "support/datagram_builder.h"

namespace pw {
namespace {

struct NoRows final : RowSink {
  void add_row(std::string_view) override {}
};

TEST(SaveData, NothingToSaveBeforeAnyDatagram) {
  auto store = std::make_unique<CaptureStore>();
  EXPECT_TRUE(SniffLogSaveData(*store).empty());
  EXPECT_TRUE(PacketsSaveData(*store).empty());
  EXPECT_TRUE(PcapSaveData(*store).empty());
  ResetCaptureStore(*store);
  EXPECT_TRUE(SniffLogSaveData(*store).empty());
  EXPECT_TRUE(PacketsSaveData(*store).empty());
  EXPECT_TRUE(PcapSaveData(*store).empty());
}

// The pcap file reads back with every stored datagram's bytes and time, the
// largest datagram included, and nothing of an earlier session.
TEST(SaveData, PcapHoldsTheStoredDatagramsWithTheirTimes) {
  auto store = std::make_unique<CaptureStore>();
  NoRows rows;
  const std::vector<test::Datagram> earlier = {
      {test::MakeDatagram({.protocol = 6, .payload_length = 3000}), {5, 5}}};
  const std::vector<test::Datagram> datagrams = {
      {test::MakeDatagram({.protocol = 17, .payload_length = 65535 - 28}), {1700000000, 1}},
      {test::MakeDatagram({.protocol = 1}), {1700000000, 999999999}},
      {test::MakeDatagram({.protocol = 2, .payload_length = 4}), {0, 0}},
  };
  for (const auto* session : {&earlier, &datagrams}) {
    ResetCaptureStore(*store);
    uint32_t count = 0;
    for (const test::Datagram& d : *session) {
      ASSERT_EQ(AppendDatagram(*store, count, d.bytes.data(), static_cast<uint32_t>(d.bytes.size()),
                               d.bytes[9], d.time, "row", rows),
                AppendOutcome::kStored);
    }
  }
  const std::vector<uint8_t> file = PcapSaveData(*store);
  const test::ReadResult read = test::ReadAll(std::string(file.begin(), file.end()));
  EXPECT_TRUE(read.opened) << read.error;
  EXPECT_EQ(read.last, ReadOutcome::kEnd) << read.error;
  EXPECT_EQ(read.datagrams, datagrams);
  EXPECT_EQ(file.size(), 24u + 3 * 16u + PacketsSaveData(*store).size());
}

TEST(SaveData, ThePoolBackToBackAndTheLogUpToItsEnd) {
  auto store = std::make_unique<CaptureStore>();
  ResetCaptureStore(*store);
  NoRows rows;
  uint32_t count = 0;
  std::string expected_bytes;
  std::string expected_log;
  const size_t lengths[] = {60, 40, 1500};
  for (size_t length : lengths) {
    std::vector<uint8_t> d = test::MakeDatagram(
        {.protocol = 1, .payload_length = length - 28});
    d.back() = static_cast<uint8_t>(length);
    std::string row = "\t";
    row += std::to_string(count);
    row += "\ticmp";
    ASSERT_EQ(AppendDatagram(*store, count, d.data(), static_cast<uint32_t>(d.size()), 1, {},
                             row, rows),
              AppendOutcome::kStored);
    expected_bytes.append(d.begin(), d.end());
    expected_log += row;
    expected_log += "\r\n";
  }
  const std::span<const uint8_t> pool = PacketsSaveData(*store);
  ASSERT_EQ(pool.size(), 1600u);
  EXPECT_EQ(std::string(pool.begin(), pool.end()), expected_bytes);
  EXPECT_EQ(SniffLogSaveData(*store), expected_log);

  // A pool whose first byte is 0 holds no datagram, whatever the fill says.
  store->byte_pool[0] = 0;
  EXPECT_TRUE(PacketsSaveData(*store).empty());
}

}  // namespace
}  // namespace pw
