// What a session reads: the network (the program's live packet source,
// behind its privilege check) or a capture file, chosen before each start.
// A capture session holds one packet source and one privilege check for its
// whole life; a SourceChoice is both, and forwards to the chosen origin:
//
//   SourceChoice origin(raw_socket_source, SystemPrivilegeCheck());
//   CaptureSession session(store, view, origin, origin);
//   origin.choose_file("capture.pcap");  session.start(request);  // a file
//   origin.choose_network();              session.start(request);  // "go!"
//
// Reading a file needs no right to capture: while a file is chosen, check()
// allows without asking the network's check.
//
// Threads: choose_network and choose_file on the UI thread while no capture
// thread exists (none started, or the last one joined); open, receive and
// close on the capture thread; wake from any thread; check on the UI thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "engine/packet_source.h"
#include "engine/privilege.h"
#include "files/capture_file_source.h"

namespace pw {

class SourceChoice final : public PacketSource, public PrivilegeCheck {
 public:
  // The network is chosen until a file is.
  SourceChoice(PacketSource& network, PrivilegeCheck& network_privilege);
  ~SourceChoice() override;
  SourceChoice(const SourceChoice&) = delete;
  SourceChoice& operator=(const SourceChoice&) = delete;

  void choose_network();
  // The file at `path` (any form that fopen takes), read from its start at
  // every open. The source of an earlier file is released.
  void choose_file(std::string path);
  bool file_chosen() const;

  // PacketSource: the chosen origin's.
  bool open(uint32_t bind_address) override;
  ReceiveStatus receive(uint8_t* buffer, size_t capacity, size_t& length,
                        CaptureTime& time) override;
  void wake() override;
  void close() override;
  const std::string& error() const override;

  // PrivilegeCheck: the network's check; a file is allowed at once.
  PrivilegeResult check() override;

 private:
  PacketSource& chosen() const { return *chosen_.load(std::memory_order_acquire); }

  PacketSource& network_;
  PrivilegeCheck& network_privilege_;
  std::unique_ptr<CaptureFileSource> file_;
  std::atomic<PacketSource*> chosen_;
};

}  // namespace pw
