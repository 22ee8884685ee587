// The packet source over libpcap (Linux): live capture on a device. It
// delivers each IP datagram (IPv4 or IPv6) from its first header byte, with the link
// header of the device stripped; frames that carry no IP are skipped.
// Each datagram comes with the library's time for its frame, in nanoseconds
// where the device has them (a device that refuses them gives
// microseconds). It may take a capture expression in the library's filter
// syntax, which selects frames in the kernel before the session's own
// filter sees them. (Capture files are read by CaptureFileSource, the same
// on both systems.)
//
// Threads: as PacketSource says. open, receive and close on the capture
// thread; wake from any thread; describe and expression_refused as they say.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/packet_source.h"

struct pcap;  // the capture library's handle (pcap_t)

namespace pw {

// Live capture on the origin's device, used as it is ("lo", "eth0",
// "any"); an origin without a device names it by its address:
// 127.0.0.1 the loopback device, a local interface address the device that
// owns it, anything else every device ("any"). Only IP is taken (the
// kernel filter is CaptureFilterText of the expression), each datagram
// once: outgoing datagrams of the device are included, and the loopback
// device's outgoing copies are left out by the library. The process needs
// root or an effective CAP_NET_RAW.
class PcapLiveSource final : public PacketSource {
 public:
  // `fields_filter` (FieldsFilterText of the session's fields, or empty)
  // joins the expression in the kernel filter.
  explicit PcapLiveSource(std::string expression = {}, std::string fields_filter = {});
  ~PcapLiveSource() override;
  PcapLiveSource(const PcapLiveSource&) = delete;
  PcapLiveSource& operator=(const PcapLiveSource&) = delete;

  bool open(const CaptureOrigin& origin) override;
  ReceiveStatus receive(uint8_t* buffer, size_t capacity, size_t& length,
                        CaptureTime& time) override;
  size_t original_length() const override { return original_; }
  void wake() override;
  void close() override;
  const std::string& error() const override { return error_; }

  // True, with `description` filled, once an open has succeeded; it stays
  // so after close, until the next open. Any thread.
  bool describe(SourceDescription& description) const;

  // After a failed open: true when the capture expression was refused;
  // error() is then the library's message. Capture thread, or any thread
  // once the session has ended.
  bool expression_refused() const { return expression_refused_; }

  // The device the last open chose ("lo", "eth0", "any"). Capture thread,
  // or any thread once the session has ended.
  const std::string& device() const { return device_; }
  // Datagrams the kernel dropped for lack of buffer room during the last
  // session, counted when it was closed. Any thread.
  uint64_t kernel_drops() const { return drops_.load(std::memory_order_acquire); }

 private:
  bool activate();
  bool take_link_type();
  bool set_kernel_filter();
  bool make_pollable();

  const std::string expression_;
  const std::string fields_filter_;
  std::string error_;
  bool expression_refused_ = false;
  SourceDescription description_;
  std::atomic<bool> opened_{false};
  pcap* handle_ = nullptr;
  int wake_fd_ = -1;  // eventfd: wake() writes, a blocked receive polls it
  int link_type_ = 0;
  size_t original_ = 0;  // of the last datagram received
  std::string device_;
  std::atomic<uint64_t> drops_{0};
};

// The device that a live capture on `address` (wire order) uses when no
// device is named (see above). Asks the system for its devices and their
// addresses.
std::string CaptureDeviceFor(uint32_t address);

}  // namespace pw
