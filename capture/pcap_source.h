// Packet sources over libpcap (Linux): live capture on a device, and the
// offline reading of a capture file. Both deliver each IPv4 datagram from
// its first header byte, with the link header of the device or file
// stripped; frames that carry no IPv4 are skipped. Each datagram comes with
// the library's time for its frame, in nanoseconds where the device or the
// file has them (a live device that refuses them gives microseconds, a
// microsecond file its microseconds times 1,000).
//
// Threads: as PacketSource says. open, receive and close on the capture
// thread; wake from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "capture/packet_source.h"

struct pcap;  // the capture library's handle (pcap_t)

namespace pw {

// Live capture. The bind address picks the device: 127.0.0.1 the loopback
// device, a local interface address the device that owns it, anything else
// every device ("any"). Only IPv4 is taken (kernel filter "ip"), each
// datagram once: outgoing datagrams of the device are included, and the
// loopback device's outgoing copies are left out by the library. The
// process needs root or an effective CAP_NET_RAW.
class PcapLiveSource final : public PacketSource {
 public:
  PcapLiveSource();
  ~PcapLiveSource() override;
  PcapLiveSource(const PcapLiveSource&) = delete;
  PcapLiveSource& operator=(const PcapLiveSource&) = delete;

  bool open(uint32_t bind_address) override;
  ReceiveStatus receive(uint8_t* buffer, size_t capacity, size_t& length,
                        CaptureTime& time) override;
  void wake() override;
  void close() override;
  const std::string& error() const override { return error_; }

  // The device the last open chose ("lo", "eth0", "any"). Capture thread,
  // or any thread once the session has ended.
  const std::string& device() const { return device_; }
  // Datagrams the kernel dropped for lack of buffer room during the last
  // session, counted when it was closed. Any thread.
  uint64_t kernel_drops() const { return drops_.load(std::memory_order_acquire); }

 private:
  pcap* handle_ = nullptr;
  int wake_fd_ = -1;  // eventfd: wake() writes, a blocked receive polls it
  int link_type_ = 0;
  std::string device_;
  std::string error_;
  std::atomic<uint64_t> drops_{0};
};

// The device that a live capture on `bind_address` uses (see above). Asks
// the system for its devices and their addresses.
std::string CaptureDeviceFor(uint32_t bind_address);

// A capture file (pcap or pcapng, as written by tcpdump, tshark and the
// like), read datagram by datagram. The bind address is not used. The end
// of the file is kEnd; a damaged or cut-off file is kFailed after the
// datagrams before the damage.
class PcapFileSource final : public PacketSource {
 public:
  explicit PcapFileSource(std::string path);
  ~PcapFileSource() override;
  PcapFileSource(const PcapFileSource&) = delete;
  PcapFileSource& operator=(const PcapFileSource&) = delete;

  bool open(uint32_t bind_address) override;
  ReceiveStatus receive(uint8_t* buffer, size_t capacity, size_t& length,
                        CaptureTime& time) override;
  void wake() override;
  void close() override;
  const std::string& error() const override { return error_; }

 private:
  std::string path_;
  pcap* handle_ = nullptr;
  int link_type_ = 0;
  std::atomic<bool> woken_{false};
  std::string error_;
};

}  // namespace pw
