// The capture-file packet source and the stdio byte streams, over real
// files in a temporary directory: what the writer writes through a stdio
// stream, the source reads back, alone and through a capture session.
#include "files/capture_file_source.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/capture_session.h"
#include "files/capture_stream.h"
#include "packet/byte_order.h"
#include "files/save_data.h"
#include "support/capture_file_builder.h"
#include "support/capture_files.h"
#include "support/datagram_builder.h"
#include "support/fakes.h"
#include "support/memory_stream_files.h"
#include "support/recording_view.h"
#include "support/temp_dir.h"

namespace pw {
namespace {

using test::AsString;
using test::Bytes;
using test::Datagram;
using test::MakeDatagram;

const Bytes kUdp = MakeDatagram({.protocol = 17, .source_port = 53, .destination_port = 4000,
                                 .payload_length = 100});
const Bytes kIcmp = MakeDatagram({.protocol = 1, .ttl = 255});

class CaptureFileSourceTest : public test::TempDirTest {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = Path(name);
    test::WriteFile(path, bytes);
    return path;
  }

  // Receives from `source` until it ends or fails; returns that status.
  ReceiveStatus ReceiveAll(CaptureFileSource& source, std::vector<Datagram>& got) {
    Bytes buffer(kReceiveBufferSize);
    for (;;) {
      size_t length = 0;
      CaptureTime time{};
      const ReceiveStatus status = source.receive(buffer.data(), buffer.size(), length, time);
      if (status != ReceiveStatus::kDatagram) return status;
      got.push_back({Bytes(buffer.begin(), buffer.begin() + static_cast<long>(length)), time});
    }
  }
};

TEST_F(CaptureFileSourceTest, WhatTheWriterWroteThroughAStreamReadsBack) {
  const std::vector<Datagram> datagrams = {{kUdp, {1700000000, 123456789}},
                                           {kIcmp, {1700000001, 5}}};
  const std::string path = Path("written.pcap");
  std::string error;
  ASSERT_TRUE(test::WriteAll(path, datagrams, error)) << error;

  CaptureFileSource source(path);
  for (int round = 0; round < 2; ++round) {  // a second open reads from the start
    ASSERT_TRUE(source.open({})) << source.error();
    std::vector<Datagram> got;
    EXPECT_EQ(ReceiveAll(source, got), ReceiveStatus::kEnd);
    EXPECT_EQ(got, datagrams);
    source.close();
  }
}

TEST_F(CaptureFileSourceTest, AStreamOpenForReadingRefusesToBeWritten) {
  const std::string path = Write("read-only.pcap", "x");
  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  StdioByteSink sink(file);
  const uint8_t bytes[4096] = {};
  const bool wrote = sink.write(bytes, sizeof bytes) && sink.flush();
  EXPECT_FALSE(wrote);
  EXPECT_EQ(sink.error().rfind("cannot write", 0), 0u) << sink.error();
  EXPECT_FALSE(sink.write(bytes, 1));  // stays failed
  std::fclose(file);
}

// pcapng with a block of 100 KB that the stream passes over by seeking.
TEST_F(CaptureFileSourceTest, WakeAndSkippedBlocks) {
  test::PcapngBuilder b;
  b.interface({.link_type = 101, .resolution = 9})
      .packet(0, 1700000000000000001ull, kUdp)
      .other(0xBAD, 100000)
      .packet(0, 1700000002000000002ull, kIcmp);
  CaptureFileSource source(Write("skip.pcapng", b.bytes()));
  source.wake();  // before open: the first receive returns kWoken
  ASSERT_TRUE(source.open({})) << source.error();
  Bytes buffer(kReceiveBufferSize);
  size_t length = 0;
  CaptureTime time{};
  EXPECT_EQ(source.receive(buffer.data(), buffer.size(), length, time), ReceiveStatus::kWoken);
  std::vector<Datagram> got;
  EXPECT_EQ(ReceiveAll(source, got), ReceiveStatus::kEnd);
  const std::vector<Datagram> expected = {{kUdp, {1700000000, 1}}, {kIcmp, {1700000002, 2}}};
  EXPECT_EQ(got, expected);
  source.wake();  // after the last receive: not carried into the next session
  source.close();
  ASSERT_TRUE(source.open({}));
  EXPECT_EQ(source.receive(buffer.data(), buffer.size(), length, time), ReceiveStatus::kDatagram);
  EXPECT_EQ(time, (CaptureTime{1700000000, 1}));  // from the start again
}

TEST_F(CaptureFileSourceTest, FilesThatCannotBeReadAreReportedWithTheirPath) {
  const std::string cut = test::PcapWithTimes({{kUdp, 1, 0}, {kIcmp, 2, 0}}, {.link_type = 101});
  const std::string cut_path = Write("cut.pcap", cut.substr(0, cut.size() - 3));
  CaptureFileSource cut_source(cut_path);
  ASSERT_TRUE(cut_source.open({}));
  std::vector<Datagram> got;
  EXPECT_EQ(ReceiveAll(cut_source, got), ReceiveStatus::kFailed);
  EXPECT_EQ(got.size(), 1u);
  EXPECT_EQ(cut_source.error(), cut_path + ": cut short in the middle of record 2 (at byte 168)");

  struct Case {
    std::string path;
    std::string error;  // after "<path>: "; empty: any reason
  } cases[] = {
      {Path("missing.pcap"), ""},
      {Write("notes.txt", "these are not datagrams\n"), "not a pcap or pcapng file"},
      {Write("wifi.pcap", test::PcapBytes({}, {.link_type = 105})), "link type 105 is not supported"},
      {dir_.string(), ""},
  };
  for (const Case& c : cases) {
    CaptureFileSource source(c.path);
    EXPECT_FALSE(source.open({})) << c.path;
    EXPECT_EQ(source.error().rfind(c.path + ": " + c.error, 0), 0u) << source.error();
    EXPECT_GT(source.error().size(), c.path.size() + 2) << c.path;
    source.close();
  }
}

// The source under a capture session: rows and stored bytes, the end of
// the file, and a damaged file's reason.
TEST_F(CaptureFileSourceTest, ACaptureSessionReadsTheFile) {
  const std::string whole = test::PcapWithTimes(
      {{test::EthernetFrame(kUdp), 1, 0}, {test::EthernetFrame(kIcmp), 2, 0}}, {});
  struct Case {
    std::string file;
    std::string end;  // the end event, after the path
    size_t rows;
  } cases[] = {
      {whole, "ended source-ended", 2},
      {whole.substr(0, whole.size() - 1), "ended source-failed <path>: cut short in the middle "
                                          "of record 2 (at byte 182)", 1},
  };
  for (const Case& c : cases) {
    const std::string path = Write("session.pcap", c.file);
    auto store = std::make_unique<CaptureStore>();
    test::RecordingView view;
    CaptureFileSource source;  // the file that the origin names
    CaptureSession session(*store, view, source);
    StartRequest request{.origin = FileOrigin(path), .from_field = "*:*", .to_field = "*:*",
                         .protocols = {true, true, true, true, true}};
    ASSERT_EQ(session.start(request, {true, true}), StartOutcome::kStarted);
    ASSERT_TRUE(view.wait_ended());
    session.stop();
    std::string end = c.end;
    if (const size_t at = end.find("<path>"); at != std::string::npos) end.replace(at, 6, path);
    EXPECT_EQ(view.events().end()[-2], end);
    const std::vector<std::string> rows = {"\t0\tudp\t10.0.0.1\t53\t10.0.0.2\t4000\t128\t64",
                                           "\t1\ticmp\t10.0.0.1\t0\t10.0.0.2\t0\t28\t255"};
    EXPECT_EQ(view.rows(), std::vector<std::string>(rows.begin(), rows.begin() + static_cast<long>(c.rows)));
    const std::span<const uint8_t> pool = PacketsSaveData(*store);
    EXPECT_EQ(std::string(pool.begin(), pool.end()),
              c.rows == 2 ? AsString(kUdp) + AsString(kIcmp) : AsString(kUdp));
  }
}

// Each stored datagram keeps the time the file gives it; a record that the
// session's filter drops takes no time entry.
TEST_F(CaptureFileSourceTest, ASessionKeepsTheFileTimes) {
  const std::string path = Write(
      "session.pcap",
      test::PcapWithTimes({{test::EthernetFrame(kUdp), 1700000000, 5},
                           {test::EthernetFrame(MakeDatagram({.protocol = 47})), 1700000001, 6},
                           {test::EthernetFrame(kIcmp), 1600000000, 999999999}},
                          {.nanoseconds = true}));
  auto store = std::make_unique<CaptureStore>();
  test::RecordingView view;
  CaptureFileSource source(path);
  CaptureSession session(*store, view, source);
  ASSERT_EQ(session.start({.from_field = "*:*", .to_field = "*:*",
                           .protocols = {true, true, true, true, true}},
                          {true, true}),
            StartOutcome::kStarted);
  ASSERT_TRUE(view.wait_ended());
  session.stop();
  const StoredDatagrams all = StoredDatagramsOf(*store);
  const std::vector<CaptureTime> expected = {{1700000000, 5}, {1600000000, 999999999}};
  EXPECT_EQ(std::vector<CaptureTime>(all.times.begin(), all.times.end()), expected);
}

// A record cut in capture keeps its original length, less the link header,
// through the store: "save as pcap" and the stream (-w) write it as the
// record's original length.
TEST_F(CaptureFileSourceTest, CutRecordsKeepTheirOriginalLength) {
  const std::vector<uint8_t> whole = MakeDatagram({.protocol = 17, .payload_length = 100});
  const std::string path =
      Write("cut.pcap", test::PcapBytes({test::EthernetFrame(whole)}, {.snapshot = 14 + 40}));
  auto store = std::make_unique<CaptureStore>();
  test::RecordingView view;
  CaptureFileSource source(path);
  CaptureSession session(*store, view, source);
  test::MemoryStreamFiles files;
  CaptureStream stream(files, {"w.pcap"});
  ASSERT_EQ(session.start({.from_field = "*:*", .to_field = "*:*",
                           .protocols = {true, true, true, true, true}, .stream = &stream},
                          {true, true}),
            StartOutcome::kStarted);
  ASSERT_TRUE(view.wait_ended());
  session.stop();
  const StoredDatagrams all = StoredDatagramsOf(*store);
  ASSERT_EQ(all.lengths.size(), 1u);
  EXPECT_EQ(all.lengths[0], 40u);
  EXPECT_EQ(all.original_lengths[0], whole.size());
  const std::vector<uint8_t> saved = PcapSaveData(*store);
  const std::string written = files.file("w.pcap");
  for (const uint8_t* file : {saved.data(), reinterpret_cast<const uint8_t*>(written.data())}) {
    EXPECT_EQ(Le32(file + 24 + 8), 40u);
    EXPECT_EQ(Le32(file + 24 + 12), whole.size());
  }
}

}  // namespace
}  // namespace pw
