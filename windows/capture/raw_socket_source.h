// Packet source of the Windows program: a raw IPv4 socket bound to an
// interface address in receive-all mode (SIO_RCVALL), which delivers every
// IPv4 datagram passing that interface from its first header byte, and
// beside it a raw IPv6 socket in receive-all mode on the same adapter,
// which delivers its IPv6 datagrams. Needs membership in the
// Administrators group.
//
// open: WSAStartup 1.1, socket(AF_INET, SOCK_RAW, IPPROTO_IP), a larger
// receive buffer (SO_RCVBUF; a refusal is no error), bind to the address
// (port 0), receive-all on; then the IPv6 partner of the address
// (ipv6_partner.h: ::1 for 127.0.0.1, else an address of the same adapter
// from GetAdaptersAddresses) and for it socket(AF_INET6, SOCK_RAW, 0), the
// larger buffer, bind (a link-local address with its scope id), receive-all
// on. Without a partner (the adapter has no IPv6 address, the adapter list
// is missing or unreadable) or where the system refuses the IPv6 family
// (WSAEAFNOSUPPORT), it captures IPv4 alone. Each failing step is reported
// by error(), the IPv6 socket's steps with "(IPv6)" after their name, and
// fails the open. Receive-all mode needs one interface address: open
// refuses 0.0.0.0 (what the session chooses for an interface text that
// names no interface) before it calls the socket library. open also raises
// the calling capture thread to the highest priority.
//
// receive: with one socket, one blocking recv into the caller's buffer;
// with two, a blocking select on both, then a recv on each socket it found
// ready in turn (the IPv4 one first) before the next select. The system's
// time of day is read as soon as recv has returned a datagram (with the
// best precision the system offers: see system_clock.h). What the IPv6
// socket delivers that does not begin with version 6 is not handed on.
// wake: closes both sockets, which makes a blocked recv or select return;
// the source then receives nothing more until it is opened again. close:
// closes the sockets (if wake did not) and releases the socket library,
// once for each successful WSAStartup.
//
// The socket library calls go through WinsockCalls, and the clock through
// ClockCalls: the system's by default, scripted fakes in tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/packet_source.h"

namespace pw {

class ClockCalls;
class WinsockCalls;

class RawSocketSource final : public PacketSource {
 public:
  RawSocketSource();  // over the system's socket library and clock
  explicit RawSocketSource(WinsockCalls& calls);  // and the system's clock
  RawSocketSource(WinsockCalls& calls, ClockCalls& clock);
  ~RawSocketSource() override { close(); }
  RawSocketSource(const RawSocketSource&) = delete;
  RawSocketSource& operator=(const RawSocketSource&) = delete;

  bool open(const CaptureOrigin& origin) override;
  ReceiveStatus receive(uint8_t* buffer, size_t capacity, size_t& length,
                        CaptureTime& time) override;
  void wake() override;
  void close() override;
  const std::string& error() const override { return error_; }

 private:
  enum class Family { kIpv4, kIpv6 };

  bool step_failed(const char* step);
  bool open_ipv6(uint32_t bind_address);
  void raise_receive_buffer(uintptr_t handle);
  void close_socket(uintptr_t handle);
  ReceiveStatus receive_on(Family family, uintptr_t handle, uint8_t* buffer, size_t capacity,
                           size_t& length, CaptureTime& time);
  ReceiveStatus wait_for_either(uintptr_t v4, uintptr_t v6);

  WinsockCalls& calls_;
  ClockCalls& clock_;
  // The socket handles (SOCKETs); kNoSocket when none is open. Taken by
  // exchange, so that wake and close never both close one.
  static constexpr uintptr_t kNoSocket = ~uintptr_t{0};
  std::atomic<uintptr_t> socket_{kNoSocket};
  std::atomic<uintptr_t> socket6_{kNoSocket};
  // Capture thread only: the session has an IPv6 socket, and which sockets
  // the last select found ready and have not been read since.
  bool two_sockets_ = false;
  bool ready4_ = false;
  bool ready6_ = false;
  std::atomic<bool> woken_{false};
  // Wakes that may be closing the socket right now; close releases the
  // library only when there are none.
  std::atomic<int> waking_{0};
  bool library_started_ = false;  // capture thread only
  std::string error_;             // capture thread only
};

}  // namespace pw
