// Packet source of the Windows program: one raw IPv4 socket bound to an
// interface address in receive-all mode (SIO_RCVALL), which delivers every
// IPv4 datagram passing that interface from its first header byte. Needs
// membership in the Administrators group.
//
// open: WSAStartup 1.1, socket(AF_INET, SOCK_RAW, IPPROTO_IP), a larger
// receive buffer (SO_RCVBUF; a refusal is no error), bind to the address
// (port 0), receive-all on; each failing step is reported by error().
// Receive-all mode needs one interface address: open refuses 0.0.0.0 (what
// the session chooses for an interface text that names no interface)
// before it calls the socket library. open also raises the calling capture
// thread to the highest priority. receive: one blocking recv into the
// caller's buffer, and the system's time of day read as soon as it has
// returned a datagram (with the best precision the system offers: see
// system_clock_win32.h). wake: closes the socket, which makes a blocked recv
// return; the source then receives nothing more until it is opened again.
// close: closes the socket (if wake did not) and releases the socket
// library, once for each successful WSAStartup.
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
  bool step_failed(const char* step);
  void raise_receive_buffer(uintptr_t handle);
  void close_socket(uintptr_t handle);

  WinsockCalls& calls_;
  ClockCalls& clock_;
  // The socket handle (a SOCKET); kNoSocket when none is open. Taken by
  // exchange, so that wake and close never both close it.
  static constexpr uintptr_t kNoSocket = ~uintptr_t{0};
  std::atomic<uintptr_t> socket_{kNoSocket};
  std::atomic<bool> woken_{false};
  // Wakes that may be closing the socket right now; close releases the
  // library only when there are none.
  std::atomic<int> waking_{0};
  bool library_started_ = false;  // capture thread only
  std::string error_;             // capture thread only
};

}  // namespace pw
