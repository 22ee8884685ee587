// Whole capture files for tests: read through the capture-file reader
// (every datagram with its time, and how the reading ended), and written
// with the capture-file writer from datagrams laid out as the store keeps
// them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "engine/packet_source.h"
#include "files/byte_stream.h"
#include "files/capture_file_reader.h"
#include "files/capture_file_writer.h"

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

// Writes `datagrams` with WritePcapFile from a pool, a length table and a
// time table; false (and `error`) on failure.
inline bool WriteAll(ByteSink& sink, const std::vector<Datagram>& datagrams, std::string& error) {
  Bytes pool;
  std::vector<uint32_t> lengths;
  std::vector<CaptureTime> times;
  for (const Datagram& d : datagrams) {
    pool.insert(pool.end(), d.bytes.begin(), d.bytes.end());
    lengths.push_back(static_cast<uint32_t>(d.bytes.size()));
    times.push_back(d.time);
  }
  return WritePcapFile(sink, {pool, lengths, lengths, times}, error);
}

// The same into a new file at `path`, through a stdio stream.
inline bool WriteAll(const std::string& path, const std::vector<Datagram>& datagrams,
                     std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = "cannot create " + path;
    return false;
  }
  StdioByteSink sink(file);
  const bool written = WriteAll(sink, datagrams, error);
  if (std::fclose(file) != 0 && written) {
    error = "cannot close " + path;
    return false;
  }
  return written;
}

}  // namespace pw::test
