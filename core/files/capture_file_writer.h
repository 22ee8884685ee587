// Writes captured datagrams as a classic pcap file that other tools open:
// nanosecond time stamps (magic a1b23c4d), version 2.4, snapshot length
// 65,535, link type 101 (raw IP, which carries both families: each record
// is a datagram from the first byte of its IPv4 or IPv6 header, with no
// link header), no time zone. Every field is little-endian, the magic
// included, which is how a reader tells the byte order.
//
// Times: a record's seconds field has 32 unsigned bits (1970 to 2106). A
// time before 1970 is written as 1970-01-01 00:00:00.000000000; a time
// after the field's last second as that second and 999,999,999 ns. (libpcap
// 1.10 takes the field for signed and reads times after 2038-01-19 as
// before 1970; tshark and CaptureFileReader read it as written.)
//
// Lengths: the captured length is the datagram's stored length, the
// original length the length it had before it was cut in capture (the
// store's original length; never less than the stored length). A datagram
// longer than the snapshot length (a receive can deliver 65,536 bytes when
// the header's total length is not trusted) is written cut to 65,535
// bytes, with its whole length as the original length, as a capture with
// that snapshot length records it.
//
// Threads: any one thread at a time; allocates nothing beyond what the sink
// does.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/capture_store.h"
#include "engine/capture_time.h"
#include "files/byte_stream.h"
#include "files/pcap_format.h"

namespace pw {

inline constexpr uint32_t kPcapSnapshotLength = 65535;

// The 24-byte file header into `header`.
void PutPcapFileHeader(uint8_t (&header)[kPcapFileHeaderBytes]);

// The 16-byte header of a record of a datagram of `length` stored bytes,
// `original` bytes on the wire (at least `length`), captured at `time`.
// Returns how many of its bytes the record carries (`length`, cut to the
// snapshot length).
uint32_t PutPcapRecordHeader(uint8_t (&header)[kPcapRecordHeaderBytes], size_t length,
                             uint64_t original, CaptureTime time);

// The 24-byte file header. False when the sink failed (its error() says
// why).
bool WritePcapHeader(ByteSink& sink);

// One record: a 16-byte header and the datagram, of `original` bytes
// before it was cut. False when the sink failed.
bool WritePcapRecord(ByteSink& sink, std::span<const uint8_t> datagram, uint64_t original,
                     CaptureTime time);

// The whole file for datagrams laid out as the capture store keeps them
// (StoredDatagrams): `pool` holds them back to back, the k-th length,
// original length and time belong to datagram k. Writes the header, every
// record, and flushes the sink. False, with `error` set, when the sink
// failed (its reason), or when the tables differ in number or the lengths
// reach past the pool (nothing is written then).
bool WritePcapFile(ByteSink& sink, const StoredDatagrams& datagrams, std::string& error);

}  // namespace pw
