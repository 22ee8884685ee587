#include "engine/capture_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "files/capture_file_writer.h"
#include "files/save_data.h"
#include "support/capture_files.h"
#include "support/datagram_builder.h"
#include "support/fakes.h"

namespace pw {
namespace {

// Records the rows and checks, at the moment each row is listed, that its
// datagram is already whole in the store and its log line not yet written.
class CheckingRows final : public RowSink {
 public:
  explicit CheckingRows(const CaptureStore& store) : store_(store) {}
  void add_row(std::string_view row) override {
    const uint32_t k = static_cast<uint32_t>(rows.size());
    DatagramLocation where{};
    ASSERT_TRUE(LocateDatagram(store_, k, where)) << k;
    EXPECT_EQ(where.offset + where.length, store_.pool_fill.load());
    EXPECT_EQ(SniffLogText(store_).find(row), std::string_view::npos);
    rows.emplace_back(row);
  }
  std::vector<std::string> rows;

 private:
  const CaptureStore& store_;
};

std::vector<uint8_t> Datagram(uint32_t length, uint8_t fill) {
  std::vector<uint8_t> d(length, fill);
  d[0] = 0x45;
  return d;
}

// A time for packet k of session s that no other packet of the test has;
// before 1970 for the first packets of session 0.
CaptureTime TimeOf(uint32_t k, int64_t s = 0) {
  return {s * 1'000'000 + int64_t{k} - 100, kNanosecondsPerSecond - 1 - k};
}

std::string Row(uint32_t k) {
  std::string row = "\t";
  row += std::to_string(k);
  row += "\tudp";
  return row;
}

class CaptureStoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<CaptureStore> store_ = std::make_unique<CaptureStore>();
  CheckingRows rows_{*store_};
  uint32_t count_ = 0;
  int64_t session_ = 0;  // the session the times of TimeOf are for

  AppendOutcome Append(uint32_t length, uint8_t fill = 0xAB, uint8_t protocol = 17) {
    const std::vector<uint8_t> d = Datagram(length, fill);
    const std::string row = Row(count_);
    return AppendDatagram(*store_, count_, d.data(), length, protocol,
                          TimeOf(count_, session_), row, rows_);
  }

  void NewSession() {
    ResetCaptureStore(*store_);
    count_ = 0;
    ++session_;
    rows_.rows.clear();
  }

  // What StoredDatagramsOf gives agrees with the pool fill, and with the
  // lengths and times that each datagram was stored with.
  void ExpectStoredDatagrams(uint32_t count) {
    const StoredDatagrams all = StoredDatagramsOf(*store_);
    EXPECT_EQ(all.pool.data(), store_->byte_pool);
    EXPECT_EQ(all.pool.size(), store_->pool_fill.load());
    ASSERT_EQ(all.lengths.size(), count);
    ASSERT_EQ(all.times.size(), count);
    uint64_t offset = 0;
    for (uint32_t k = 0; k < count; ++k) {
      DatagramLocation where{};
      ASSERT_TRUE(LocateDatagram(*store_, k, where)) << k;
      EXPECT_EQ(where.offset, offset) << k;
      EXPECT_EQ(all.lengths[k], where.length) << k;
      EXPECT_EQ(where.time, TimeOf(k, session_)) << k;
      EXPECT_EQ(all.times[k], where.time) << k;
      offset += where.length;
    }
  }
};

TEST_F(CaptureStoreTest, StartsEmpty) {
  EXPECT_EQ(store_->byte_pool[0], 0);
  EXPECT_EQ(store_->pool_fill.load(), 0u);
  EXPECT_TRUE(SniffLogText(*store_).empty());
  DatagramLocation where{};
  EXPECT_FALSE(LocateDatagram(*store_, 0, where));
  ExpectStoredDatagrams(0);
}

TEST_F(CaptureStoreTest, DatagramsLieBackToBack) {
  const uint32_t lengths[] = {60, 40, 1500};
  uint8_t fill = 1;
  for (uint32_t length : lengths) ASSERT_EQ(Append(length, fill++), AppendOutcome::kStored);
  EXPECT_EQ(count_, 3u);
  EXPECT_EQ(store_->pool_fill.load(), 1600u);
  uint32_t offset = 0;
  for (uint32_t k = 0; k < 3; ++k) {
    DatagramLocation where{};
    ASSERT_TRUE(LocateDatagram(*store_, k, where));
    EXPECT_EQ(where.offset, offset);
    EXPECT_EQ(where.length, lengths[k]);
    EXPECT_EQ(where.protocol, 17);
    EXPECT_EQ(where.time, TimeOf(k));
    EXPECT_EQ(store_->byte_pool[offset + 1], k + 1);
    EXPECT_EQ(store_->byte_pool[offset + lengths[k] - 1], k + 1);
    offset += lengths[k];
  }
  EXPECT_EQ(SniffLogText(*store_), "\t0\tudp\r\n\t1\tudp\r\n\t2\tudp\r\n");
  EXPECT_EQ(store_->sniff_log[SniffLogText(*store_).size()], '\0');
  EXPECT_EQ(rows_.rows.size(), 3u);
}

TEST_F(CaptureStoreTest, ResetKeepsTheLengthAndTimeTables) {
  for (int i = 0; i < 5; ++i) Append(100);
  NewSession();

  EXPECT_EQ(store_->pool_fill.load(), 0u);
  EXPECT_TRUE(SniffLogText(*store_).empty());
  EXPECT_EQ(store_->sniff_log[0], '\0');
  EXPECT_TRUE(PacketsSaveData(*store_).empty());
  DatagramLocation gone{};
  EXPECT_FALSE(LocateDatagram(*store_, 0, gone));
  EXPECT_EQ(store_->length_table[4], 100u);  // left from the first session
  EXPECT_EQ(store_->time_table[4], TimeOf(4, 0));
  ExpectStoredDatagrams(0);

  Append(50);
  Append(50);
  EXPECT_EQ(store_->length_table[4], 100u);
  EXPECT_EQ(store_->time_table[1], TimeOf(1, 1));
  EXPECT_EQ(store_->time_table[2], TimeOf(2, 0));
  ExpectStoredDatagrams(2);
  DatagramLocation where{};
  EXPECT_TRUE(LocateDatagram(*store_, 1, where));
  // Index 4 belongs to the first session: its stale lengths point past the
  // pool fill, so it names no datagram of this capture.
  EXPECT_FALSE(LocateDatagram(*store_, 4, where));
  EXPECT_FALSE(LocateDatagram(*store_, 2, where));
  EXPECT_FALSE(LocateDatagram(*store_, kTableEntries, where));
  EXPECT_EQ(SniffLogText(*store_), "\t0\tudp\r\n\t1\tudp\r\n");
}

TEST_F(CaptureStoreTest, PoolFullRefusesWithoutWritingPastTheEnd) {
  uint32_t stored = 0;
  while (Append(65535) == AppendOutcome::kStored) ++stored;
  EXPECT_EQ(stored, kBytePoolSize / 65535);
  EXPECT_EQ(count_, stored);
  EXPECT_EQ(store_->pool_fill.load(), stored * 65535u);
  EXPECT_EQ(rows_.rows.size(), stored);
  size_t log_size = 0;
  for (const std::string& row : rows_.rows) log_size += row.size() + 2;
  EXPECT_EQ(SniffLogText(*store_).size(), log_size);  // refused: no line

  // What still fits is stored; the pool fills to its last byte exactly.
  const uint32_t rest = kBytePoolSize - store_->pool_fill.load();
  EXPECT_EQ(Append(rest + 1), AppendOutcome::kPoolFull);
  EXPECT_EQ(Append(rest), AppendOutcome::kStored);
  EXPECT_EQ(store_->pool_fill.load(), kBytePoolSize);
  EXPECT_EQ(Append(20), AppendOutcome::kPoolFull);
  EXPECT_EQ(count_, stored + 1);
  EXPECT_EQ(rows_.rows.size(), count_);

  // Every listed row has its whole datagram.
  uint64_t sum = 0;
  for (uint32_t k = 0; k < count_; ++k) {
    DatagramLocation where{};
    ASSERT_TRUE(LocateDatagram(*store_, k, where));
    sum += where.length;
  }
  EXPECT_EQ(sum, kBytePoolSize);
  ExpectStoredDatagrams(count_);
}

TEST_F(CaptureStoreTest, TenThousandAppendsMakeTenThousandLogLines) {
  for (uint32_t k = 0; k < kPacketLimit; ++k) {
    ASSERT_EQ(Append(20 + k % 40, static_cast<uint8_t>(k), k % 2 ? 6 : 17),
              AppendOutcome::kStored);
  }
  EXPECT_EQ(Append(20), AppendOutcome::kLimitReached);
  EXPECT_EQ(count_, kPacketLimit);

  const std::string_view log = SniffLogText(*store_);
  size_t lines = 0;
  for (size_t at = log.find("\r\n"); at != std::string_view::npos;
       at = log.find("\r\n", at + 2)) {
    ++lines;
  }
  EXPECT_EQ(lines, kPacketLimit);
  EXPECT_EQ(log.substr(log.size() - 11), "\t9999\tudp\r\n");
  EXPECT_EQ(std::strlen(store_->sniff_log), log.size());

  const uint64_t sum = std::accumulate(store_->length_table,
                                       store_->length_table + kPacketLimit, uint64_t{0});
  EXPECT_EQ(sum, store_->pool_fill.load());
  EXPECT_EQ(store_->protocol_table[9999], 6);
  EXPECT_EQ(store_->protocol_table[kPacketLimit], 0);
  ExpectStoredDatagrams(kPacketLimit);
}

// A walk finds each datagram where the one before ended, as LocateDatagram
// finds it; it waits at a datagram that the pool fill does not cover yet,
// and starts again at packet 0 for a new session.
TEST_F(CaptureStoreTest, AWalkTakesTheDatagramsOneAfterAnother) {
  DatagramWalk walk(*store_);
  DatagramLocation where{};
  EXPECT_FALSE(walk.next(where));
  for (const uint32_t length : {20u, 1500u, 33u}) Append(length, 1, length == 33 ? 6 : 17);
  for (uint32_t k = 0; k < 3; ++k) {
    DatagramLocation expected{};
    ASSERT_TRUE(LocateDatagram(*store_, k, expected));
    ASSERT_TRUE(walk.next(where)) << k;
    EXPECT_EQ(where.offset, expected.offset) << k;
    EXPECT_EQ(where.length, expected.length) << k;
    EXPECT_EQ(where.protocol, expected.protocol) << k;
    EXPECT_EQ(where.time, TimeOf(k)) << k;
  }
  EXPECT_FALSE(walk.next(where));
  Append(60);
  ASSERT_TRUE(walk.next(where));
  EXPECT_EQ(where.offset, 1553u);
  EXPECT_EQ(where.time, TimeOf(3));

  NewSession();
  walk.restart();
  Append(40);
  ASSERT_TRUE(walk.next(where));
  EXPECT_EQ(where.offset, 0u);
  EXPECT_EQ(where.length, 40u);
  EXPECT_EQ(where.time, TimeOf(0, session_));
  EXPECT_FALSE(walk.next(where)) << "the earlier session's entries lie beyond the fill";
}

// The store keeps whatever time a source gave, in any order: it neither
// sorts nor checks them.
TEST_F(CaptureStoreTest, TimesAreKeptAsGiven) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const CaptureTime times[] = {
      {1700000000, 5}, {1700000000, 5}, {1699999999, 999999999}, {0, 0},
      {-1, 500000000}, {kMin, 0},       {kMax, 999999999},       {0xFFFFFFFF, 1},
  };
  const std::vector<uint8_t> d = Datagram(20, 1);
  for (const CaptureTime& time : times) {
    ASSERT_EQ(AppendDatagram(*store_, count_, d.data(), 20, 1, time, Row(count_), rows_),
              AppendOutcome::kStored);
  }
  const StoredDatagrams all = StoredDatagramsOf(*store_);
  ASSERT_EQ(all.times.size(), std::size(times));
  for (uint32_t k = 0; k < std::size(times); ++k) {
    DatagramLocation where{};
    ASSERT_TRUE(LocateDatagram(*store_, k, where));
    EXPECT_EQ(where.time, times[k]) << k;
    EXPECT_EQ(all.times[k], times[k]) << k;
  }
}

// The store keeps no count: StoredDatagramsOf counts the lengths that
// fill the pool. A datagram of 0 bytes, which no session stores, fills
// nothing; at the end it is not counted.
TEST_F(CaptureStoreTest, StoredDatagramsEndWhereTheLengthsReachThePoolFill) {
  const std::vector<uint8_t> d = Datagram(20, 1);
  const uint32_t lengths[] = {20, 0, 20, 0};
  test::DiscardRows rows;  // a datagram of 0 bytes has no place to check
  for (const uint32_t length : lengths) {
    ASSERT_EQ(AppendDatagram(*store_, count_, d.data(), length, 1, TimeOf(count_), Row(count_),
                             rows),
              AppendOutcome::kStored);
  }
  const StoredDatagrams all = StoredDatagramsOf(*store_);
  EXPECT_EQ(all.pool.size(), 40u);
  EXPECT_EQ(std::vector<uint32_t>(all.lengths.begin(), all.lengths.end()),
            (std::vector<uint32_t>{20, 0, 20}));
  EXPECT_EQ(all.times.size(), 3u);
}

// What the capture-file writer makes of a session that filled the pool,
// after a session of more datagrams: every byte and time of this session
// reads back, and nothing of the earlier one.
TEST_F(CaptureStoreTest, AStoredSessionWritesAsACaptureFile) {
  for (int i = 0; i < 100; ++i) Append(100);
  NewSession();
  auto udp = [](uint32_t k) {
    return test::MakeDatagram({.protocol = 17, .source_port = static_cast<uint16_t>(k),
                               .payload_length = 65535 - 28});
  };
  while (AppendDatagram(*store_, count_, udp(count_).data(), 65535, 17, TimeOf(count_, 1),
                        Row(count_), rows_) == AppendOutcome::kStored) {
  }
  const StoredDatagrams all = StoredDatagramsOf(*store_);
  MemoryByteSink sink;
  std::string error;
  ASSERT_TRUE(WritePcapFile(sink, all, error)) << error;
  const test::ReadResult r =
      test::ReadAll(std::string(sink.bytes().begin(), sink.bytes().end()));
  EXPECT_EQ(r.last, ReadOutcome::kEnd) << r.error;
  ASSERT_EQ(r.datagrams.size(), count_);
  EXPECT_EQ(count_, kBytePoolSize / 65535);
  for (uint32_t k = 0; k < count_; ++k) {
    EXPECT_TRUE(r.datagrams[k].bytes == udp(k)) << k;
    EXPECT_EQ(r.datagrams[k].time, TimeOf(k, 1)) << k;
  }
}

}  // namespace
}  // namespace pw
