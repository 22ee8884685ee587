#include "files/capture_file_writer.h"

#include <algorithm>

#include "files/pcap_format.h"
#include "packet/link_layer.h"

namespace pw {

namespace {

constexpr uint32_t kLastSecond = 0xFFFFFFFFu;

uint8_t* PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  return p + 2;
}

uint8_t* PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  return p + 4;
}

// The time as the record's two 32-bit fields carry it (see the header).
void RecordTime(CaptureTime time, uint32_t& seconds, uint32_t& nanoseconds) {
  if (time.seconds < 0) {
    seconds = 0;
    nanoseconds = 0;
  } else if (time.seconds > int64_t{kLastSecond}) {
    seconds = kLastSecond;
    nanoseconds = kNanosecondsPerSecond - 1;
  } else {
    seconds = static_cast<uint32_t>(time.seconds);
    nanoseconds = std::min(time.nanoseconds, kNanosecondsPerSecond - 1);
  }
}

}  // namespace

void PutPcapFileHeader(uint8_t (&header)[kPcapFileHeaderBytes]) {
  uint8_t* p = PutLe32(header, kPcapNanosecondMagic);
  p = PutLe16(p, 2);
  p = PutLe16(p, 4);
  p = PutLe32(p, 0);  // time zone: times are UTC
  p = PutLe32(p, 0);  // accuracy of the times: not stated
  p = PutLe32(p, kPcapSnapshotLength);
  PutLe32(p, static_cast<uint32_t>(kLinkRawFile));
}

uint32_t PutPcapRecordHeader(uint8_t (&header)[kPcapRecordHeaderBytes], size_t length,
                             uint64_t original, CaptureTime time) {
  uint32_t seconds = 0;
  uint32_t nanoseconds = 0;
  RecordTime(time, seconds, nanoseconds);
  const auto captured = static_cast<uint32_t>(std::min<size_t>(length, kPcapSnapshotLength));
  const auto whole = static_cast<uint32_t>(std::min<uint64_t>(std::max<uint64_t>(original, length),
                                                              UINT32_MAX));
  uint8_t* p = PutLe32(header, seconds);
  p = PutLe32(p, nanoseconds);
  p = PutLe32(p, captured);
  PutLe32(p, whole);
  return captured;
}

bool WritePcapHeader(ByteSink& sink) {
  uint8_t header[kPcapFileHeaderBytes];
  PutPcapFileHeader(header);
  return sink.write(header, sizeof header);
}

bool WritePcapRecord(ByteSink& sink, std::span<const uint8_t> datagram, uint64_t original,
                     CaptureTime time) {
  uint8_t header[kPcapRecordHeaderBytes];
  const uint32_t captured = PutPcapRecordHeader(header, datagram.size(), original, time);
  return sink.write(header, sizeof header) && sink.write(datagram.data(), captured);
}

bool WritePcapFile(ByteSink& sink, const StoredDatagrams& datagrams, std::string& error) {
  const std::span<const uint8_t> pool = datagrams.pool;
  const std::span<const uint32_t> lengths = datagrams.lengths;
  if (lengths.size() != datagrams.times.size() ||
      lengths.size() != datagrams.original_lengths.size()) {
    error = "the datagrams' lengths and times differ in number";
    return false;
  }
  uint64_t total = 0;
  for (const uint32_t length : lengths) total += length;
  if (total > pool.size()) {
    error = "the datagrams' lengths reach past the stored bytes";
    return false;
  }
  bool ok = WritePcapHeader(sink);
  size_t at = 0;
  for (size_t k = 0; ok && k < lengths.size(); ++k) {
    ok = WritePcapRecord(sink, pool.subspan(at, lengths[k]), datagrams.original_lengths[k],
                         datagrams.times[k]);
    at += lengths[k];
  }
  if (ok && sink.flush()) return true;
  error = sink.error().empty() ? "cannot write" : sink.error();
  return false;
}

}  // namespace pw
