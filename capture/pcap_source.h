// Packet sources over libpcap (Linux): live capture on a device, and the
// offline reading of a capture file. Both deliver each IPv4 datagram from
// its first header byte, with the link header of the device or file
// stripped; frames that carry no IPv4 are skipped. Each datagram comes with
// the library's time for its frame, in nanoseconds where the device or the
// file has them (a live device that refuses them gives microseconds, a
// microsecond file its microseconds times 1,000). Both may take a capture
// expression in the library's filter syntax, which selects frames before
// the session's own filter sees them.
//
// Threads: as PacketSource says. open, receive and close on the capture
// thread; wake from any thread; origin and expression_refused as they say.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "capture/frame_filter.h"
#include "capture/packet_source.h"

struct pcap;  // the capture library's handle (pcap_t)

namespace pw {

// What an open source reads from, as the user is told.
struct CaptureOrigin {
  bool file = false;
  std::string name;       // the device ("lo", "any") or the file name
  std::string link_type;  // the link type's name and description
  int capture_size = 0;   // the snapshot length, in bytes
};

// What the two sources share: the expression, the error text, and the
// origin published by a successful open.
class PcapSource : public PacketSource {
 public:
  const std::string& error() const override { return error_; }

  // True, with `origin` filled, once an open has succeeded; it stays so
  // after close, until the next open. Any thread.
  bool origin(CaptureOrigin& origin) const;

  // After a failed open: true when the capture expression was refused;
  // error() is then the library's message. Capture thread, or any thread
  // once the session has ended.
  bool expression_refused() const { return expression_refused_; }

 protected:
  explicit PcapSource(std::string expression) : expression_(std::move(expression)) {}

  // The start of every open: no origin, no error.
  void begin_open();
  // The end of a successful open.
  void publish_origin(bool file, const std::string& name, int link_type, int capture_size);

  const std::string expression_;
  std::string error_;
  bool expression_refused_ = false;

 private:
  CaptureOrigin origin_;
  std::atomic<bool> opened_{false};
};

// Live capture. A device named at construction is used as it is ("lo",
// "eth0", "any"). Without one, the bind address picks the device:
// 127.0.0.1 the loopback device, a local interface address the device that
// owns it, anything else every device ("any"). Only IPv4 is taken (the
// kernel filter is CaptureFilterText of the expression), each datagram
// once: outgoing datagrams of the device are included, and the loopback
// device's outgoing copies are left out by the library. The process needs
// root or an effective CAP_NET_RAW.
class PcapLiveSource final : public PcapSource {
 public:
  explicit PcapLiveSource(std::string device = {}, std::string expression = {});
  ~PcapLiveSource() override;
  PcapLiveSource(const PcapLiveSource&) = delete;
  PcapLiveSource& operator=(const PcapLiveSource&) = delete;

  bool open(uint32_t bind_address) override;
  ReceiveStatus receive(uint8_t* buffer, size_t capacity, size_t& length,
                        CaptureTime& time) override;
  void wake() override;
  void close() override;

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

  const std::string named_device_;
  pcap* handle_ = nullptr;
  int wake_fd_ = -1;  // eventfd: wake() writes, a blocked receive polls it
  int link_type_ = 0;
  std::string device_;
  std::atomic<uint64_t> drops_{0};
};

// The device that a live capture on `bind_address` uses (see above). Asks
// the system for its devices and their addresses.
std::string CaptureDeviceFor(uint32_t bind_address);

// A capture file (pcap or pcapng, as written by tcpdump, tshark and the
// like), read datagram by datagram; the name "-" reads standard input. The
// bind address is not used. The expression is applied to each record
// (FrameFilter). The end of the file is kEnd; a damaged or cut-off file is
// kFailed after the datagrams before the damage.
class PcapFileSource final : public PcapSource {
 public:
  explicit PcapFileSource(std::string path, std::string expression = {});
  ~PcapFileSource() override;
  PcapFileSource(const PcapFileSource&) = delete;
  PcapFileSource& operator=(const PcapFileSource&) = delete;

  bool open(uint32_t bind_address) override;
  ReceiveStatus receive(uint8_t* buffer, size_t capacity, size_t& length,
                        CaptureTime& time) override;
  void wake() override;
  void close() override;

 private:
  bool open_file();
  bool compile_expression();

  std::string path_;
  pcap* handle_ = nullptr;
  int link_type_ = 0;
  FrameFilter filter_;
  std::atomic<bool> woken_{false};
};

}  // namespace pw
