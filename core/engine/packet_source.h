// Packet source: where the capture thread's datagrams come from.
//
// Each platform tree has its live source (a raw socket in receive-all mode,
// libpcap on a device); the core has the capture-file source; tests have a
// scripted list of datagrams.
//
// Threads: open, receive and close are called only by the capture thread,
// in that order, once per session. wake may be called from any thread at any
// time (before open has finished, during a blocked receive, after close) and
// must make the current or the next receive return kWoken promptly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/capture_origin.h"
#include "engine/capture_time.h"

namespace pw {

// The capture thread receives into a buffer of this size.
inline constexpr size_t kReceiveBufferSize = 65536;

enum class ReceiveStatus {
  kDatagram,  // `length` bytes, from the first byte of an IPv4 header,
              // captured at `time`
  kWoken,     // wake() was called; the loop tests the stop flag again
  kEnd,       // the source has no more datagrams (end of a file)
  kFailed,    // the source failed; error() says why
};

// What an open source reads from, as a front end tells the user (the
// sources that say it have a description() of their own).
struct SourceDescription {
  bool file = false;
  std::string name;       // the device ("lo", "any") or the file name
  std::string link_type;  // the link type's name and description (LinkTypeText)
  int capture_size = 0;   // the snapshot length, in bytes
};

class PacketSource {
 public:
  virtual ~PacketSource() = default;

  // Opens the source on `origin` (what each source takes from it is its
  // own: an interface's address or device, a file). On failure returns
  // false and error() says why, in a short lower-case text for the user
  // ("socket: access denied", ...). May block briefly; may allocate.
  virtual bool open(const CaptureOrigin& origin) = 0;

  // Blocks until a datagram is in `buffer` (at most `capacity` bytes; a
  // longer one is cut to `capacity`), the source is woken, ends or fails.
  // With a datagram, `time` is when it was captured: the capture library's
  // time for the frame, the time a file records for it, or the system's
  // time taken right after the receive returned. `length` and `time` are
  // set only with a datagram. Allocates nothing.
  virtual ReceiveStatus receive(uint8_t* buffer, size_t capacity, size_t& length,
                                CaptureTime& time) = 0;

  // The length that the datagram of the last receive (kDatagram) had before
  // it was cut: to the capture's snapshot length, to what a capture file
  // recorded of it, or to `capacity`; from the first byte of its IP header
  // (libpcap's and a capture file's original length less the link header).
  // 0 when the source cannot tell (the received length counts then: the
  // raw socket receives whole datagrams). Capture thread, after receive.
  virtual size_t original_length() const { return 0; }

  // Makes a blocked receive return kWoken (and the next one, if none is
  // blocked yet). Any thread; never blocks.
  virtual void wake() = 0;

  // Releases what open acquired. Safe to call after a failed open.
  virtual void close() = 0;

  // Why the last open or receive failed.
  virtual const std::string& error() const = 0;
};

}  // namespace pw
