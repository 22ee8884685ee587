// Reads capture files record by record and hands out the IPv4 datagram of
// each record with its capture time.
//
// Formats: classic pcap in either byte order, with microsecond or
// nanosecond times; pcapng with any number of sections (each in its own
// byte order), interface descriptions of any link type and time resolution
// (if_tsresol, powers of ten and of two; if_tsoffset is added), enhanced and
// simple packet blocks. Every other pcapng block is passed over without
// being read into memory.
//
// Each frame's link header is stripped as FindIpDatagram strips it; frames
// that carry no IPv4, and the packets of interfaces whose link type the
// program does not read, are skipped. A RecordSelector, when one is set,
// sees each remaining frame whole (link header included) and may pass over
// it (a capture expression). A damaged or cut file ends with
// ReadOutcome::kFailed and a reason that names the record or block, after
// every datagram that lay whole before it. The reader never reads outside
// its buffers, allocates nothing after open (and once per reader in open),
// and always moves forward in the input.
//
// Threads: one thread at a time (the capture thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/capture_time.h"
#include "files/byte_stream.h"

namespace pw {

// A record whose captured length is above this is taken for damage: no
// link type this program reads has frames that long.
inline constexpr size_t kMaxRecordBytes = 262144;

// Interfaces one pcapng section may describe.
inline constexpr size_t kMaxInterfaces = 1024;

enum class CaptureFileFormat { kNone, kPcap, kPcapng };

enum class ReadOutcome {
  kDatagram,  // the record's datagram is in the buffer
  kEnd,       // the file ended where a record could start
  kFailed,    // the file is damaged, cut short or unreadable; error() says why
};

// A record's whole frame as the file holds it, before its link header is
// stripped: what a RecordSelector looks at.
struct CaptureFrame {
  int link_type = 0;              // as the file numbers it
  const uint8_t* bytes = nullptr;
  size_t captured = 0;            // bytes at `bytes`
  size_t original = 0;            // the frame's length on the wire, as recorded
};

// Chooses the records whose datagrams a reader hands out. Called by the
// reader's thread, only for frames that carry IPv4 in a link type the
// program reads.
class RecordSelector {
 public:
  // Readies the selector for frames of `link_type`, the reader calls it
  // before the first frame and whenever the link type changes. False, with
  // error(), when it cannot choose among frames of that link type; the
  // reading then fails with that reason.
  virtual bool prepare(int link_type) = 0;

  // True when the frame's datagram is to be handed out; frames are of the
  // link type prepared last.
  virtual bool takes(const CaptureFrame& frame) = 0;

  // Why prepare failed.
  virtual const std::string& error() const = 0;

 protected:
  ~RecordSelector() = default;
};

// One record's IPv4 datagram.
struct CaptureRecord {
  CaptureTime time;    // as the file has it; 0 for a simple packet block
  size_t length = 0;   // bytes of the datagram in the caller's buffer
  size_t captured = 0; // bytes of the datagram in the file; more than
                       // `length` when the buffer was smaller
  size_t original = 0; // the datagram's length before it was captured: the
                       // record's original length less the link header,
                       // at least `captured`
};

class CaptureFileReader {
 public:
  CaptureFileReader();
  ~CaptureFileReader();
  CaptureFileReader(const CaptureFileReader&) = delete;
  CaptureFileReader& operator=(const CaptureFileReader&) = delete;

  // Starts reading `input` (which must outlive the reading) from its
  // current byte: reads the pcap file header, or the pcapng section header
  // and the blocks up to its first interface description. False, with
  // error(), for an input that is not such a file or whose (first) link
  // type the program does not read. Reopening forgets the previous input.
  bool open(ByteInput& input);

  // Reads on to the next record that carries IPv4 and copies its datagram
  // into `buffer`, cut to `capacity` bytes. After kEnd or kFailed every
  // further call gives the same. Allocates nothing.
  ReadOutcome next(uint8_t* buffer, size_t capacity, CaptureRecord& record);

  // Records the selector does not take are passed over (and not counted
  // as skipped); null, the default, hands out every IPv4 datagram. The
  // selector must outlive the reading; it is kept across opens.
  void select_with(RecordSelector* selector);

  // Why open or next failed: a short lower-case text.
  const std::string& error() const;

  CaptureFileFormat format() const;

  // After a successful open: the link type of the file, or of the first
  // interface a pcapng file describes (-1 when it describes none before
  // its first packet), and that link's snapshot length (kMaxRecordBytes
  // when the file sets none).
  int link_type() const;
  uint32_t snapshot_length() const;

  // Packet records read so far, and those of them that were skipped for
  // carrying no IPv4 (or having a link type the program does not read).
  uint64_t records() const;
  uint64_t skipped() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pw
