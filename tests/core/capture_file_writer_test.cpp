#include "files/capture_file_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "engine/capture_store.h"
#include "support/capture_files.h"
#include "support/datagram_builder.h"

namespace pw {
namespace {

using test::AsString;
using test::Bytes;
using test::Datagram;
using test::MakeDatagram;
using test::WriteAll;

// A UDP datagram of exactly `size` bytes (at least 28).
Bytes UdpOfSize(size_t size) {
  return MakeDatagram({.protocol = 17, .payload_length = size - 28});
}

std::string Written(const std::vector<Datagram>& datagrams) {
  MemoryByteSink sink;
  std::string error;
  EXPECT_TRUE(WriteAll(sink, datagrams, error)) << error;
  return AsString(sink.bytes());
}

TEST(CaptureFileWriter, FileHeaderAndRecordLayout) {
  const Bytes ip = MakeDatagram({.protocol = 0});  // a bare 20-byte header
  const std::string file = Written({{ip, {1700000000, 123456789}}});
  const std::string expected_header(
      "\x4D\x3C\xB2\xA1" "\x02\x00\x04\x00" "\x00\x00\x00\x00" "\x00\x00\x00\x00"
      "\xFF\xFF\x00\x00" "\x65\x00\x00\x00", 24);
  const std::string expected_record(
      "\x00\xF1\x53\x65" "\x15\xCD\x5B\x07" "\x14\x00\x00\x00" "\x14\x00\x00\x00", 16);
  EXPECT_EQ(file, expected_header + expected_record + AsString(ip));
  // Nothing stored: a file of its header alone, which reads as empty.
  const std::string empty = Written({});
  EXPECT_EQ(empty, expected_header);
  EXPECT_EQ(test::ReadAll(empty).last, ReadOutcome::kEnd);
}

TEST(CaptureFileWriter, ReadsBackWithIdenticalBytesAndTimes) {
  const std::vector<Datagram> datagrams = {
      {UdpOfSize(28), {0, 0}},
      {UdpOfSize(1500), {1700000000, 1}},
      {UdpOfSize(65535), {1700000000, 999999999}},
      {MakeDatagram({.protocol = 1}), {0xFFFFFFFF, 999999999}},
      {UdpOfSize(65535), {1234567890, 500000000}},
  };
  const test::ReadResult r = test::ReadAll(Written(datagrams));
  EXPECT_EQ(r.last, ReadOutcome::kEnd) << r.error;
  EXPECT_EQ(r.datagrams, datagrams);
}

// A session that fills the store: 10,000 datagrams, 819,200 bytes.
TEST(CaptureFileWriter, AFullStoreReadsBackWhole) {
  std::vector<Datagram> datagrams;
  size_t total = 0;
  for (uint32_t k = 0; k + 1 < kPacketLimit; ++k) {
    const size_t size = 28 + k % 100;
    total += size;
    datagrams.push_back({UdpOfSize(size), {1700000000 + k / 7, (k * 999983u) % 1000000000u}});
  }
  ASSERT_LT(total + 28, size_t{kBytePoolSize});
  datagrams.push_back({UdpOfSize(kBytePoolSize - total), {1800000000, 42}});
  const std::string file = Written(datagrams);
  EXPECT_EQ(file.size(), 24u + 16u * kPacketLimit + kBytePoolSize);
  CaptureFileReader reader;
  const test::ReadResult r = test::ReadAll(reader, file);
  EXPECT_EQ(r.last, ReadOutcome::kEnd) << r.error;
  EXPECT_EQ(reader.records(), kPacketLimit);
  EXPECT_TRUE(r.datagrams == datagrams);
}

TEST(CaptureFileWriter, TimesOutsideTheSecondsFieldAreClamped) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  struct Case {
    CaptureTime given;
    CaptureTime written;
  } cases[] = {
      {{-1, 500000000}, {0, 0}},
      {{kMin, 0}, {0, 0}},
      {{0x100000000, 0}, {0xFFFFFFFF, 999999999}},
      {{kMax, 999999999}, {0xFFFFFFFF, 999999999}},
      {{5, 1500000000}, {5, 999999999}},  // not a valid time: the last nanosecond
  };
  for (const Case& c : cases) {
    const test::ReadResult r = test::ReadAll(Written({{UdpOfSize(28), c.given}}));
    ASSERT_EQ(r.datagrams.size(), 1u);
    EXPECT_EQ(r.datagrams[0].time, c.written) << c.given.seconds << "." << c.given.nanoseconds;
  }
}

TEST(CaptureFileWriter, ADatagramAboveTheSnapshotLengthIsCut) {
  Bytes longest(65536, 0x11);
  longest[0] = 0x45;
  longest[2] = longest[3] = 0;  // total length not trusted
  const std::string file = Written({{longest, {1, 0}}});
  // Captured 65,535 of an original 65,536 bytes.
  EXPECT_EQ(file.substr(24 + 8, 8), std::string("\xFF\xFF\x00\x00\x00\x00\x01\x00", 8));
  const test::ReadResult r = test::ReadAll(file);
  ASSERT_EQ(r.datagrams.size(), 1u);
  EXPECT_EQ(r.datagrams[0].bytes, Bytes(longest.begin(), longest.end() - 1));
}

// A sink that takes `room` bytes and fails at the next write or flush.
class FullSink final : public ByteSink {
 public:
  explicit FullSink(size_t room, bool flush_fails = false)
      : room_(room), flush_fails_(flush_fails) {}
  bool write(const uint8_t*, size_t size) override {
    if (size > room_) error_ = "cannot write: no space left";
    room_ -= std::min(size, room_);
    return error_.empty();
  }
  bool flush() override {
    if (flush_fails_) error_ = "cannot write: the device went away";
    return error_.empty();
  }
  const std::string& error() const override { return error_; }

 private:
  size_t room_;
  bool flush_fails_;
  std::string error_;
};

TEST(CaptureFileWriter, WriteFailuresAreReported) {
  const std::vector<Datagram> datagrams = {{UdpOfSize(100), {1, 0}}, {UdpOfSize(60), {2, 0}}};
  const size_t size = Written(datagrams).size();
  for (const size_t room : {size_t{0}, size_t{23}, size_t{24}, size_t{39}, size_t{40},
                            size_t{140}, size - 1}) {
    FullSink sink(room);
    std::string error;
    EXPECT_FALSE(WriteAll(sink, datagrams, error)) << room;
    EXPECT_EQ(error, "cannot write: no space left") << room;
  }
  FullSink flush_fails(size, true);
  std::string error;
  EXPECT_FALSE(WriteAll(flush_fails, datagrams, error));
  EXPECT_EQ(error, "cannot write: the device went away");
  FullSink exact(size);
  EXPECT_TRUE(WriteAll(exact, datagrams, error));
}

TEST(CaptureFileWriter, TablesThatDoNotMatchThePoolWriteNothing) {
  const Bytes pool(100, 0x45);
  const std::vector<uint32_t> lengths = {60, 41};
  const std::vector<CaptureTime> times(2);
  MemoryByteSink sink;
  std::string error;
  EXPECT_FALSE(WritePcapFile(sink, {pool, lengths, lengths, times}, error));
  EXPECT_EQ(error, "the datagrams' lengths reach past the stored bytes");
  EXPECT_FALSE(WritePcapFile(sink, {pool, lengths, lengths, std::span(times).first(1)}, error));
  EXPECT_EQ(error, "the datagrams' lengths and times differ in number");
  EXPECT_FALSE(WritePcapFile(sink, {pool, lengths, std::span(lengths).first(1), times}, error));
  EXPECT_TRUE(sink.bytes().empty());
}

}  // namespace
}  // namespace pw
