// A packet source over a capture file (pcap or pcapng), read with the
// portable CaptureFileReader: the same code path on Linux and on Windows.
// The end of the file is kEnd; a damaged,
// cut or unreadable file is kFailed after the datagrams that lay whole
// before the damage, and error() says why, after the file's name.
//
// Each datagram's time is the one the file records for it (0 for a pcapng
// simple packet block, which records none).
//
// The bytes come from a CaptureInputOpener: by default a file opened
// through stdio; a platform may give its own (standard input, or an input
// that a wake-up ends while it waits on a pipe). A RecordSelector (a
// capture expression) may choose the records.
//
// Threads: as PacketSource says. open, receive and close on the capture
// thread; wake from any thread; select_with before a session starts;
// describe and selection_refused as they say.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "engine/packet_source.h"
#include "files/byte_stream.h"
#include "files/capture_file_reader.h"

namespace pw {

// Opens the bytes that a CaptureFileSource reads, at each of its opens.
class CaptureInputOpener {
 public:
  virtual ~CaptureInputOpener() = default;

  // An input from the first byte of the file; null, with `error` the reason
  // (a short text, without the file's name), when it cannot be opened.
  // Capture thread.
  virtual std::unique_ptr<ByteInput> open(std::string& error) = 0;

  // Makes a read of the input opened last that waits for bytes (on a pipe)
  // return short at once, and every later read of that input, which then
  // fails. A wake before an open is forgotten by it. Any thread; never
  // blocks. By default nothing: a read of a disk file does not wait long.
  virtual void wake() {}
};

class CaptureFileSource final : public PacketSource {
 public:
  // The file that each open's origin names (CaptureOrigin::file), through a
  // stdio stream.
  CaptureFileSource();
  // The file at `path` (any name that fopen takes), through a stdio stream,
  // whatever the origin names.
  explicit CaptureFileSource(std::string path);
  // What `opener` opens, called `name` in the error texts and the
  // description, whatever the origin names.
  CaptureFileSource(std::string name, std::unique_ptr<CaptureInputOpener> opener);
  ~CaptureFileSource() override;
  CaptureFileSource(const CaptureFileSource&) = delete;
  CaptureFileSource& operator=(const CaptureFileSource&) = delete;

  // Records that `selector` does not take are passed over; null (the
  // default) takes every IPv4 datagram. The selector is readied for the
  // file's link type at open, so that one it cannot take fails the open
  // (selection_refused); a link type that first comes later in a pcapng
  // file and that it cannot take fails the reading there. It must outlive
  // the source's sessions.
  void select_with(RecordSelector* selector);

  bool open(const CaptureOrigin& origin) override;
  ReceiveStatus receive(uint8_t* buffer, size_t capacity, size_t& length,
                        CaptureTime& time) override;
  size_t original_length() const override { return original_; }
  void wake() override;
  void close() override;
  const std::string& error() const override { return error_; }

  // True, with `description` filled (the file's name, its link type or its
  // first interface's, and the snapshot length), once an open has
  // succeeded; it stays so after close, until the next open. Any thread.
  bool describe(SourceDescription& description) const;

  // After a failed open: true when the selector refused the file's link
  // type; error() is then the selector's reason alone, without the name.
  // Capture thread, or any thread once the session has ended.
  bool selection_refused() const { return selection_refused_; }

 private:
  bool open_input();
  // Closes the input, leaving a pending wake in place.
  void release();

  // Fixed at construction, or taken from each open's origin.
  const bool named_by_origin_;
  std::string name_;
  std::unique_ptr<CaptureInputOpener> opener_;
  std::unique_ptr<ByteInput> input_;
  CaptureFileReader reader_;
  RecordSelector* selector_ = nullptr;
  std::atomic<bool> woken_{false};
  std::string error_;
  size_t original_ = 0;  // of the last datagram received
  bool selection_refused_ = false;
  SourceDescription description_;
  std::atomic<bool> opened_{false};
};

}  // namespace pw
