// Feeds arbitrary bytes to the capture-file reader as a whole file and
// checks what it hands out: each datagram lies in the receive buffer and
// starts with IPv4's or IPv6's version, each time is valid, the reading ends, a failed
// reading says why. Then the datagrams go through the writer and back
// through the reader, which must give the same bytes (up to the writer's
// snapshot length) and times (as far as the writer's seconds field reaches).
// The reading of the fuzzed file goes through a record selector, as a
// capture expression's does: it checks each frame it is shown, passes over
// some, and refuses the third link type of a reading, so that skipped
// frames and a reading that fails part way are fuzzed too.
//
// Seed corpus (corpus/capture_file_reader): the sample captures of
// tests/data that other tools wrote (see capture_file_libpcap_test_linux.cpp),
// a file of the writer, and built files in the variants no tool here writes
// (big-endian pcap with nanoseconds; big-endian pcapng with a power-of-two
// time resolution, a time offset, a simple packet block and a second,
// little-endian section).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/packet_source.h"
#include "files/byte_stream.h"
#include "files/capture_file_reader.h"
#include "files/capture_file_writer.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// The time as the writer's record carries it.
pw::CaptureTime Written(pw::CaptureTime t) {
  if (t.seconds < 0) return {0, 0};
  if (t.seconds > 0xFFFFFFFFll) return {0xFFFFFFFFll, pw::kNanosecondsPerSecond - 1};
  return t;
}

// Takes a frame unless its captured length is 4 modulo 5 (a rule that the
// datagrams of a file meet in varied ways), and readies itself for two link
// types a reading at the most.
class ThinningSelector : public pw::RecordSelector {
 public:
  void start_reading() { prepared_ = 0; }

  bool prepare(int link_type) override {
    link_type_ = link_type;
    return ++prepared_ <= 2;
  }

  bool takes(const pw::CaptureFrame& frame) override {
    Check(prepared_ >= 1 && prepared_ <= 2 && frame.link_type == link_type_);
    Check(frame.bytes != nullptr && frame.captured >= 1);
    return frame.captured % 5 != 4;
  }

  const std::string& error() const override { return error_; }

 private:
  int prepared_ = 0;
  int link_type_ = -1;
  const std::string error_ = "a third link type";
};

struct Buffers {
  pw::CaptureFileReader reader;
  pw::CaptureFileReader again;
  ThinningSelector selector;
  uint8_t first[pw::kReceiveBufferSize];
  uint8_t second[pw::kReceiveBufferSize];
};

Buffers& Shared() {
  static auto* buffers = [] {
    auto* b = new Buffers();
    b->reader.select_with(&b->selector);
    return b;
  }();
  return *buffers;
}

// Reads `input` to its end, checking each datagram, and writes them all.
void ReadAndWrite(pw::ByteInput& input, size_t size, pw::ByteSink& sink) {
  Buffers& b = Shared();
  Check(pw::WritePcapHeader(sink));
  b.selector.start_reading();
  if (!b.reader.open(input)) {
    Check(!b.reader.error().empty());
    return;
  }
  pw::CaptureRecord record;
  size_t count = 0;
  pw::ReadOutcome outcome;
  while ((outcome = b.reader.next(b.first, sizeof b.first, record)) ==
         pw::ReadOutcome::kDatagram) {
    Check(record.length >= 1 && record.length <= sizeof b.first);
    Check(record.length <= record.captured);
    Check(b.first[0] >> 4 == 4 || b.first[0] >> 4 == 6);
    Check(record.time.nanoseconds < pw::kNanosecondsPerSecond);
    Check(++count <= size / 16);  // a datagram takes at least 16 bytes of the file
    Check(pw::WritePcapRecord(sink, {b.first, record.length}, record.original, record.time));
  }
  Check(outcome == pw::ReadOutcome::kEnd || !b.reader.error().empty());
  Check(b.reader.records() >= count && b.reader.skipped() <= b.reader.records());
}

// Reads `input` again beside the file written from it: the same datagrams.
void CompareWithWritten(pw::ByteInput& input, const std::vector<uint8_t>& written) {
  Buffers& b = Shared();
  pw::MemoryByteInput copy(written);
  Check(b.again.open(copy));
  b.selector.start_reading();
  if (!b.reader.open(input)) return;
  pw::CaptureRecord record;
  pw::CaptureRecord copied;
  while (b.reader.next(b.first, sizeof b.first, record) == pw::ReadOutcome::kDatagram) {
    Check(b.again.next(b.second, sizeof b.second, copied) == pw::ReadOutcome::kDatagram);
    const size_t kept = record.length < pw::kPcapSnapshotLength ? record.length
                                                                : pw::kPcapSnapshotLength;
    Check(copied.length == kept && std::memcmp(b.first, b.second, kept) == 0);
    Check(copied.time == Written(record.time));
  }
  Check(b.again.next(b.second, sizeof b.second, copied) == pw::ReadOutcome::kEnd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pw::MemoryByteSink sink;
  pw::MemoryByteInput input({data, size});
  ReadAndWrite(input, size, sink);
  pw::MemoryByteInput again({data, size});
  CompareWithWritten(again, sink.bytes());
  return 0;
}
