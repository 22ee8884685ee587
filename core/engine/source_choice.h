// The packet source of a front end that reads the network and capture
// files in turn: each open takes its origin's kind, the network's live
// source for CaptureOrigin::kNetwork, a capture file read through stdio for
// CaptureOrigin::kFile, and the rest of the session goes to that one.
//
//   SourceChoice source(raw_socket_source);
//   CaptureSession session(store, view, source);
//   session.start(request_with_a_file_origin, rights);  // the file
//   session.start(request_with_a_network_origin, rights);  // the network
//
// Threads: as PacketSource says. open, receive and close on the capture
// thread; wake from any thread.
#pragma once

#include <atomic>
#include <string>

#include "engine/packet_source.h"
#include "files/capture_file_source.h"

namespace pw {

class SourceChoice final : public PacketSource {
 public:
  // The network is chosen until an open names a file.
  explicit SourceChoice(PacketSource& network);
  SourceChoice(const SourceChoice&) = delete;
  SourceChoice& operator=(const SourceChoice&) = delete;

  // True while the last open was of a file. Any thread.
  bool file_chosen() const;

  bool open(const CaptureOrigin& origin) override;
  ReceiveStatus receive(uint8_t* buffer, size_t capacity, size_t& length,
                        CaptureTime& time) override;
  size_t original_length() const override;
  void wake() override;
  void close() override;
  const std::string& error() const override;

 private:
  PacketSource& chosen() const { return *chosen_.load(std::memory_order_acquire); }

  PacketSource& network_;
  CaptureFileSource file_;
  std::atomic<PacketSource*> chosen_;
};

}  // namespace pw
