// The streaming writer over files kept in memory: what it writes reads back
// whole, a failed write leaves the whole records before it, sizes and rings
// of files follow -C and -W, the timer writes without more datagrams; and a
// session that streams goes on past the store's limits.
#include "files/capture_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/capture_session.h"
#include "support/capture_files.h"
#include "support/datagram_builder.h"
#include "support/memory_stream_files.h"
#include "support/recording_view.h"
#include "support/scripted_source.h"

namespace pw {
namespace {

using MemoryFiles = test::MemoryStreamFiles;

std::vector<test::Datagram> Datagrams(size_t count, size_t payload = 100) {
  std::vector<test::Datagram> datagrams;
  for (size_t i = 0; i < count; ++i) {
    datagrams.push_back({test::MakeDatagram({.protocol = 17,
                                             .source_port = static_cast<uint16_t>(1000 + i),
                                             .destination_port = 53,
                                             .payload_length = payload}),
                         {1700000000 + static_cast<int64_t>(i), static_cast<uint32_t>(i)}});
  }
  return datagrams;
}

bool Append(CaptureStream& stream, const test::Datagram& d) {
  return stream.append(d.bytes.data(), static_cast<uint32_t>(d.bytes.size()),
                       static_cast<uint32_t>(d.bytes.size()), d.time);
}

TEST(StreamFileName, AsTcpdumpNamesTheFilesOfMinusCAndMinusW) {
  struct Case {
    uint32_t ring;
    uint64_t number;
    const char* name;
  } cases[] = {
      {0, 0, "f"},    {0, 1, "f1"},   {0, 12, "f12"}, {1, 0, "f"},    {1, 5, "f"},
      {3, 0, "f0"},   {3, 2, "f2"},   {3, 4, "f1"},   {10, 9, "f9"},  {11, 0, "f00"},
      {11, 10, "f10"}, {12, 13, "f01"}, {1000, 7, "f007"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StreamFileName("f", c.ring, c.number), c.name) << c.ring << " " << c.number;
  }
}

TEST(CaptureStream, WhatItWritesReadsBackWhole) {
  MemoryFiles files;
  const std::vector<test::Datagram> datagrams = Datagrams(3000);
  {
    CaptureStream stream(files, {"x.pcap"});
    ASSERT_TRUE(stream.begin());
    for (const test::Datagram& d : datagrams) ASSERT_TRUE(Append(stream, d));
    EXPECT_EQ(stream.written(), datagrams.size());
    ASSERT_TRUE(stream.end());
  }
  const test::ReadResult read = test::ReadAll(files.file("x.pcap"));
  EXPECT_EQ(read.last, ReadOutcome::kEnd) << read.error;
  EXPECT_EQ(read.datagrams, datagrams);
}

// The record's original length stands beside its stored one.
TEST(CaptureStream, RecordsKeepTheOriginalLength) {
  MemoryFiles files;
  CaptureStream stream(files, {"x.pcap"});
  ASSERT_TRUE(stream.begin());
  const test::Datagram d = Datagrams(1)[0];
  ASSERT_TRUE(stream.append(d.bytes.data(), 40, 1500, d.time));
  ASSERT_TRUE(stream.end());
  const std::string file = files.file("x.pcap");
  ASSERT_EQ(file.size(), 24u + 16u + 40u);
  EXPECT_EQ(Le32(reinterpret_cast<const uint8_t*>(file.data()) + 24 + 8), 40u);
  EXPECT_EQ(Le32(reinterpret_cast<const uint8_t*>(file.data()) + 24 + 12), 1500u);
}

TEST(CaptureStream, AFailedWriteLeavesTheWholeRecordsBeforeIt) {
  for (const size_t room : {size_t{10}, size_t{24}, size_t{24 + 16 + 128 * 40 + 5},
                            size_t{600000}}) {
    SCOPED_TRACE(room);
    MemoryFiles files;
    files.allow(room);
    CaptureStream stream(files, {"x.pcap"});
    bool ok = stream.begin();
    for (const test::Datagram& d : Datagrams(20000)) {
      if (!ok) break;
      ok = Append(stream, d);
    }
    ok = stream.end() && ok;
    EXPECT_FALSE(ok);
    EXPECT_EQ(stream.error(), "x.pcap: No space left on device");
    const std::string file = files.file("x.pcap");
    if (room < 24) {
      EXPECT_EQ(file, "");
      continue;
    }
    const test::ReadResult read = test::ReadAll(file);
    EXPECT_EQ(read.last, ReadOutcome::kEnd) << read.error;
    EXPECT_EQ(file.size(), 24 + read.datagrams.size() * (16 + 128));
  }
}

// -C: a new file before a record would take the current one past the
// limit; -W: the ring's files are overwritten in turn.
TEST(CaptureStream, FilesOfALimitedSizeAndRings) {
  const std::vector<test::Datagram> datagrams = Datagrams(100);  // 16 + 128 bytes each
  struct Case {
    uint32_t ring;
    std::vector<std::string> names;
    size_t opens;
  } cases[] = {
      {0, {"c", "c1", "c2", "c3", "c4"}, 5},  // 20 records a file, the last holding 20
      {3, {"c0", "c1", "c2"}, 5},
  };
  for (const Case& c : cases) {
    MemoryFiles files;
    CaptureStream stream(files, {"c", 24 + 20 * 144 + 143, c.ring});
    ASSERT_TRUE(stream.begin());
    for (const test::Datagram& d : datagrams) ASSERT_TRUE(Append(stream, d));
    ASSERT_TRUE(stream.end());
    EXPECT_EQ(files.names(), c.names);
    EXPECT_EQ(files.opens(), static_cast<int>(c.opens));
    size_t total = 0;
    for (const std::string& name : c.names) {
      const test::ReadResult read = test::ReadAll(files.file(name));
      EXPECT_EQ(read.last, ReadOutcome::kEnd) << name << " " << read.error;
      EXPECT_EQ(read.datagrams.size(), 20u) << name;
      total += read.datagrams.size();
    }
    if (c.ring == 3) {
      // The newest 60: files 2, 3 and 4 of the five, in c2, c0 and c1.
      EXPECT_EQ(test::ReadAll(files.file("c1")).datagrams.back(), datagrams.back());
      EXPECT_EQ(test::ReadAll(files.file("c2")).datagrams.front(), datagrams[40]);
    }
    EXPECT_EQ(total, c.ring == 0 ? 100u : 60u);
  }
}

// The timer writes the buffer without waiting for more datagrams.
TEST(CaptureStream, TheTimerWritesWhatIsBuffered) {
  MemoryFiles files;
  CaptureStream stream(files, {"x.pcap"});
  ASSERT_TRUE(stream.begin());
  ASSERT_TRUE(Append(stream, Datagrams(1)[0]));
  EXPECT_EQ(files.file("x.pcap").size(), 24u);
  for (int i = 0; i < 500 && files.file("x.pcap").size() == 24; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(files.file("x.pcap").size(), 24u + 144u);
  EXPECT_TRUE(stream.end());
}

// Streaming, the store's limits end only the storing: the session goes on
// numbering its rows, every datagram reaches the file, and -c ends it; a
// first file that cannot be opened refuses the start.
TEST(CaptureStream, ASessionGoesOnPastTheStore) {
  auto store = std::make_unique<CaptureStore>();
  test::RecordingView view;
  test::ScriptedSource source;
  for (const test::Datagram& d : Datagrams(3, 0)) source.add(d.bytes);
  source.set_at_end(test::ScriptedSource::AtEnd::kRepeat);
  MemoryFiles files;
  CaptureStream stream(files, {"s.pcap"});
  CaptureSession session(*store, view, source);
  StartRequest request{.from_field = "*:*", .to_field = "*:*",
                       .protocols = {true, true, false, false, false},
                       .packet_limit = kPacketLimit + 5, .stream = &stream};
  ASSERT_EQ(session.start(request, {true, true}), StartOutcome::kStarted);
  ASSERT_TRUE(view.wait_ended());
  session.stop();
  EXPECT_EQ(view.events().end()[-2], "ended limit");
  EXPECT_EQ(view.row_count(), kPacketLimit);
  EXPECT_EQ(stream.written(), kPacketLimit + 5u);
  EXPECT_EQ(test::ReadAll(files.file("s.pcap")).datagrams.size(), kPacketLimit + 5u);

  // The same stream for the next session starts afresh.
  request.packet_limit = 3;
  ASSERT_EQ(session.start(request, {true, true}), StartOutcome::kStarted);
  ASSERT_TRUE(view.wait_ended(2));
  session.stop();
  EXPECT_EQ(stream.written(), 3u);
  EXPECT_EQ(test::ReadAll(files.file("s.pcap")).datagrams.size(), 3u);

  files.refuse("s.pcap");
  CaptureStream refused(files, {"s.pcap"});
  request.stream = &refused;
  EXPECT_EQ(session.start(request, {true, true}), StartOutcome::kStreamFailed);
  EXPECT_EQ(view.events().back(), "start-failed s.pcap: cannot open");
  EXPECT_EQ(session.stop_flag().load(), 1);
}

TEST(CaptureStream, AWriteFailureEndsTheSession) {
  auto store = std::make_unique<CaptureStore>();
  test::RecordingView view;
  test::ScriptedSource source;
  for (const test::Datagram& d : Datagrams(3)) source.add(d.bytes);
  source.set_at_end(test::ScriptedSource::AtEnd::kRepeat);
  MemoryFiles files;
  files.allow(24 + 144 * 2000 + 7);
  CaptureStream stream(files, {"s.pcap"});
  CaptureSession session(*store, view, source);
  const StartRequest request{.from_field = "*:*", .to_field = "*:*",
                             .protocols = {true, true, false, false, false},
                             .packet_limit = 0, .stream = &stream};
  ASSERT_EQ(session.start(request, {true, true}), StartOutcome::kStarted);
  ASSERT_TRUE(view.wait_ended());
  session.stop();
  EXPECT_EQ(view.events().end()[-2], "ended write-failed s.pcap: No space left on device");
  EXPECT_EQ(test::ReadAll(files.file("s.pcap")).datagrams.size(), 2000u);
}

}  // namespace
}  // namespace pw
