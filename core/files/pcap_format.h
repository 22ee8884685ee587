// The classic pcap file layout that the capture-file reader and writer
// share: a file header that starts with a magic number (which also tells
// the byte order and whether the records' fractions are microseconds or
// nanoseconds), then records of a header and the frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pw {

inline constexpr uint32_t kPcapMicrosecondMagic = 0xA1B2C3D4;
inline constexpr uint32_t kPcapNanosecondMagic = 0xA1B23C4D;

// The whole file header, magic included.
inline constexpr size_t kPcapFileHeaderBytes = 24;
// A record's header: seconds, fraction, captured length, original length.
inline constexpr size_t kPcapRecordHeaderBytes = 16;

}  // namespace pw
