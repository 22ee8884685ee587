// A packet source over a capture file (pcap or pcapng), read with the
// portable CaptureFileReader through a stdio stream: the same code path on
// Linux and on Windows. The bind address is not used. The end of the file
// is kEnd; a damaged, cut or unreadable file is kFailed after the datagrams
// that lay whole before the damage, and error() says why, after the path.
//
// Each datagram's time is the one the file records for it (0 for a pcapng
// simple packet block, which records none).
//
// Threads: as PacketSource says. open, receive and close on the capture
// thread; wake from any thread.
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "capture/byte_stream.h"
#include "capture/capture_file_reader.h"
#include "capture/packet_source.h"

namespace pw {

class CaptureFileSource final : public PacketSource {
 public:
  explicit CaptureFileSource(std::string path);
  ~CaptureFileSource() override;
  CaptureFileSource(const CaptureFileSource&) = delete;
  CaptureFileSource& operator=(const CaptureFileSource&) = delete;

  bool open(uint32_t bind_address) override;
  ReceiveStatus receive(uint8_t* buffer, size_t capacity, size_t& length,
                        CaptureTime& time) override;
  void wake() override;
  void close() override;
  const std::string& error() const override { return error_; }

 private:
  // Closes the file, leaving a pending wake in place.
  void release();

  std::string path_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<StdioByteInput> input_;
  CaptureFileReader reader_;
  std::atomic<bool> woken_{false};
  std::string error_;
};

}  // namespace pw
