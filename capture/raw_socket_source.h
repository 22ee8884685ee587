// Packet source of the Windows program: one raw IPv4 socket bound to an
// interface address in receive-all mode (SIO_RCVALL), which delivers every
// IPv4 datagram passing that interface from its first header byte. Needs
// membership in the Administrators group.
//
// open: WSAStartup 1.1, socket(AF_INET, SOCK_RAW, IPPROTO_IP), bind to the
// address (port 0), receive-all on; each failing step is reported by
// error(). It also raises the calling capture thread to the highest
// priority. receive: one blocking recv into the caller's buffer. wake:
// closes the socket, which makes a blocked recv return. close: closes the
// socket (if wake did not) and releases the socket library.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "capture/packet_source.h"

namespace pw {

class RawSocketSource final : public PacketSource {
 public:
  RawSocketSource() = default;
  ~RawSocketSource() override { close(); }
  RawSocketSource(const RawSocketSource&) = delete;
  RawSocketSource& operator=(const RawSocketSource&) = delete;

  bool open(uint32_t bind_address) override;
  ReceiveStatus receive(uint8_t* buffer, size_t capacity, size_t& length) override;
  void wake() override;
  void close() override;
  const std::string& error() const override { return error_; }

 private:
  // The socket handle (a SOCKET); kNoSocket when none is open. Taken by
  // exchange, so that wake and close never both close it.
  static constexpr uintptr_t kNoSocket = ~uintptr_t{0};
  std::atomic<uintptr_t> socket_{kNoSocket};
  std::atomic<bool> woken_{false};
  bool library_started_ = false;  // capture thread only
  std::string error_;             // capture thread only
};

}  // namespace pw
