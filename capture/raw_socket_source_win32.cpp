#include "capture/raw_socket_source.h"

#include <winsock2.h>
#include <mstcpip.h>
#include <windows.h>

#include <climits>

namespace pw {

namespace {

// What a failed step tells the user: the step, a short reason for the
// usual causes, and the socket library's error number.
std::string StepError(const char* step, int code) {
  const char* reason = nullptr;
  switch (code) {
    case WSAEACCES: reason = "access denied (administrators rights required)"; break;
    case WSAEADDRNOTAVAIL: reason = "the address is not an address of this computer"; break;
    case WSAEAFNOSUPPORT: reason = "IPv4 is not available"; break;
    case WSAEINVAL: reason = "invalid argument"; break;
    case WSAEOPNOTSUPP: reason = "not supported by this system"; break;
    case WSAESOCKTNOSUPPORT:
    case WSAEPROTONOSUPPORT: reason = "raw sockets are not supported"; break;
    case WSAENETDOWN: reason = "the network is down"; break;
    case WSAENOBUFS: reason = "no buffer space"; break;
    case WSAENOTSOCK: reason = "the socket was closed"; break;
    case WSAVERNOTSUPPORTED: reason = "socket library version 1.1 is not available"; break;
    default: break;
  }
  std::string text = step;
  text += ": ";
  text += reason != nullptr ? reason : "socket error";
  text += " (" + std::to_string(code) + ")";
  return text;
}

}  // namespace

bool RawSocketSource::open(uint32_t bind_address) {
  error_.clear();
  // The capture thread runs at the highest priority, so that a burst is
  // read before the socket's buffer overflows.
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);

  WSADATA data;
  const int started = WSAStartup(MAKEWORD(1, 1), &data);
  if (started != 0) {
    error_ = StepError("WSAStartup", started);
    return false;
  }
  library_started_ = true;

  const SOCKET s = socket(AF_INET, SOCK_RAW, IPPROTO_IP);
  if (s == INVALID_SOCKET) {
    error_ = StepError("socket", WSAGetLastError());
    return false;
  }
  socket_.store(static_cast<uintptr_t>(s), std::memory_order_release);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = 0;
  address.sin_addr.s_addr = htonl(bind_address);
  if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
    error_ = StepError("bind", WSAGetLastError());
    return false;
  }
  u_long on = RCVALL_ON;
  if (ioctlsocket(s, static_cast<long>(SIO_RCVALL), &on) == SOCKET_ERROR) {
    error_ = StepError("receive-all mode", WSAGetLastError());
    return false;
  }
  return true;
}

ReceiveStatus RawSocketSource::receive(uint8_t* buffer, size_t capacity, size_t& length) {
  if (woken_.exchange(false, std::memory_order_acq_rel)) return ReceiveStatus::kWoken;
  const uintptr_t handle = socket_.load(std::memory_order_acquire);
  const int room = capacity < INT_MAX ? static_cast<int>(capacity) : INT_MAX;
  const int n = handle == kNoSocket
                    ? SOCKET_ERROR
                    : recv(static_cast<SOCKET>(handle), reinterpret_cast<char*>(buffer), room, 0);
  if (n != SOCKET_ERROR) {
    length = static_cast<size_t>(n);
    return ReceiveStatus::kDatagram;
  }
  const int code = handle == kNoSocket ? WSAENOTSOCK : WSAGetLastError();
  if (code == WSAEMSGSIZE) {  // longer than the buffer: cut to it
    length = static_cast<size_t>(room);
    return ReceiveStatus::kDatagram;
  }
  // wake() closes the socket under a blocked recv, which then fails.
  if (woken_.exchange(false, std::memory_order_acq_rel)) return ReceiveStatus::kWoken;
  error_ = StepError("recv", code);
  return ReceiveStatus::kFailed;
}

void RawSocketSource::wake() {
  woken_.store(true, std::memory_order_release);
  const uintptr_t handle = socket_.exchange(kNoSocket, std::memory_order_acq_rel);
  if (handle != kNoSocket) closesocket(static_cast<SOCKET>(handle));
}

void RawSocketSource::close() {
  const uintptr_t handle = socket_.exchange(kNoSocket, std::memory_order_acq_rel);
  if (handle != kNoSocket) closesocket(static_cast<SOCKET>(handle));
  if (library_started_) WSACleanup();
  library_started_ = false;
  woken_.store(false, std::memory_order_release);
}

}  // namespace pw
