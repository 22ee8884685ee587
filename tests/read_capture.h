// Reads a whole capture file through the capture-file reader, for tests:
// every datagram with its time, and how the reading ended.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "capture/byte_stream.h"
#include "capture/capture_file_reader.h"
#include "capture/packet_source.h"

namespace pw::test {

using Bytes = std::vector<uint8_t>;

struct Datagram {
  Bytes bytes;
  CaptureTime time;
  bool operator==(const Datagram&) const = default;
};

inline void PrintTo(const Datagram& d, std::ostream* os) {
  *os << d.bytes.size() << " bytes at " << d.time.seconds << "." << d.time.nanoseconds;
}

struct ReadResult {
  bool opened = false;
  std::vector<Datagram> datagrams;
  ReadOutcome last = ReadOutcome::kFailed;
  std::string error;
};

// Opens `input` and reads it to its end or failure (or, should the reader
// go wrong, to a million datagrams).
inline ReadResult ReadAll(CaptureFileReader& reader, ByteInput& input,
                          size_t capacity = kReceiveBufferSize) {
  ReadResult result;
  result.opened = reader.open(input);
  Bytes buffer(capacity);
  CaptureRecord record;
  for (int guard = 0; guard < 1000000; ++guard) {
    result.last = reader.next(buffer.data(), capacity, record);
    if (result.last != ReadOutcome::kDatagram) break;
    result.datagrams.push_back(
        {Bytes(buffer.begin(), buffer.begin() + static_cast<long>(record.length)), record.time});
  }
  result.error = reader.error();
  return result;
}

inline ReadResult ReadAll(CaptureFileReader& reader, const std::string& file,
                          size_t capacity = kReceiveBufferSize) {
  MemoryByteInput input({reinterpret_cast<const uint8_t*>(file.data()), file.size()});
  return ReadAll(reader, input, capacity);
}

inline ReadResult ReadAll(const std::string& file, size_t capacity = kReceiveBufferSize) {
  CaptureFileReader reader;
  return ReadAll(reader, file, capacity);
}

inline std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace pw::test
