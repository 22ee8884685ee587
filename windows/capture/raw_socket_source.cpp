// The raw-socket source over the socket library (ws2_32, through
// WinsockCalls). What each step relies on is said where it is taken;
// "documented" marks what the library's reference pages state, the rest is
// how the library behaves on the NT family.
#include "capture/raw_socket_source.h"

#include <winsock2.h>
#include <mstcpip.h>
#include <windows.h>

#include <climits>
#include <cstring>
#include <thread>

#include "capture/ipv6_partner.h"
#include "capture/system_clock.h"
#include "capture/winsock_calls.h"

namespace pw {

namespace {

// The receive buffer sizes asked for (SO_RCVBUF), largest first; a refused
// size is followed by the next, and when all are refused the socket keeps
// the system's default (8 KiB on the oldest systems, 64 KiB on later ones:
// one maximum-size datagram). The capture thread never waits for the UI
// thread, but it shares the processor with it and with the rest of the
// system; while it is not running, the system queues the interface's
// datagrams (up to 64 KiB each) in this buffer and drops what does not
// fit. 4 MiB holds about 100 ms of traffic at 330 Mbit/s, some 2,800 full
// Ethernet-sized datagrams, and five times the byte pool that one session
// can store.
constexpr int kSocketBufferSizes[] = {4 * 1024 * 1024, 1024 * 1024, 256 * 1024};

// What a failed step tells the user: the step, a short reason for the
// usual causes, and the socket library's error number.
std::string StepError(const char* step, int code) {
  const char* reason = nullptr;
  switch (code) {
    case WSAEACCES: reason = "access denied (administrators rights required)"; break;
    case WSAEADDRNOTAVAIL: reason = "the address is not an address of this computer"; break;
    case WSAEAFNOSUPPORT:
      reason = std::strstr(step, "(IPv6)") != nullptr ? "IPv6 is not available"
                                                      : "IPv4 is not available";
      break;
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

constexpr char kAnyAddressError[] =
    "bind: receive-all mode needs the address of one interface, not 0.0.0.0";

CaptureTime Now(ClockCalls& clock) {
  FILETIME now{};
  clock.get_system_time(&now);
  return CaptureTimeOfFileTime(now);
}

// Documented for WSAIoctl, with a 4-byte RCVALL_VALUE as its input, after
// the bind to an explicit local address, and only for members of the
// Administrators group; from then on recv returns the IPv4 datagrams
// passing the IPv4 interface, or the IPv6 datagrams passing the IPv6
// interface, that the socket is bound to, into a buffer that must be large
// enough (the capture thread's holds the largest IPv4 datagram and an IPv6
// one of 65,536 bytes). ioctlsocket hands the command and its 4-byte u_long
// (RCVALL_ON is 1) to the same provider ioctl; that is relied on, not
// documented.
bool ReceiveAllOn(WinsockCalls& calls, SOCKET s) {
  u_long on = RCVALL_ON;
  return calls.ioctlsocket(s, static_cast<long>(SIO_RCVALL), &on) != SOCKET_ERROR;
}

// Binds the raw socket to the interface and switches receive-all mode on.
// Returns the step that failed, or null.
const char* BindForReceiveAll(WinsockCalls& calls, SOCKET s, uint32_t bind_address) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = 0;
  address.sin_addr.s_addr = htonl(bind_address);
  if (calls.bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
      SOCKET_ERROR) {
    return "bind";
  }
  return ReceiveAllOn(calls, s) ? nullptr : "receive-all mode";
}

// The same for the IPv6 socket, on its partner address.
const char* BindForReceiveAll6(WinsockCalls& calls, SOCKET s, const sockaddr_in6& address) {
  if (calls.bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
      SOCKET_ERROR) {
    return "bind (IPv6)";
  }
  return ReceiveAllOn(calls, s) ? nullptr : "receive-all mode (IPv6)";
}

}  // namespace

RawSocketSource::RawSocketSource() : RawSocketSource(SystemWinsock(), SystemClock()) {}

RawSocketSource::RawSocketSource(WinsockCalls& calls) : RawSocketSource(calls, SystemClock()) {}

RawSocketSource::RawSocketSource(WinsockCalls& calls, ClockCalls& clock)
    : calls_(calls), clock_(clock) {}

bool RawSocketSource::step_failed(const char* step) {
  error_ = StepError(step, calls_.wsa_get_last_error());
  return false;
}

bool RawSocketSource::open(const CaptureOrigin& origin) {
  error_.clear();
  two_sockets_ = false;
  ready4_ = false;
  ready6_ = false;
  const uint32_t bind_address = origin.address;
  // Documented: receive-all mode needs a socket bound to an explicit local
  // interface, not INADDR_ANY. Refused here, before any library call, so
  // that the reason is this one and not the ioctl's bare error number.
  if (bind_address == 0) {
    error_ = kAnyAddressError;
    return false;
  }
  // The capture thread runs at the highest priority, so that a burst is
  // read before the socket's buffer overflows.
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);

  // Documented: WSAStartup returns its error code itself (WSAGetLastError
  // is not to be used for it), and only a successful call is matched by a
  // WSACleanup.
  WSADATA data;
  const int started = calls_.wsa_startup(MAKEWORD(1, 1), &data);
  if (started != 0) {
    error_ = StepError("WSAStartup", started);
    return false;
  }
  library_started_ = true;

  // Documented: receive-all mode takes a socket of family AF_INET, type
  // SOCK_RAW and protocol IPPROTO_IP; on such a socket every datagram is
  // received with its IPv4 header in front.
  const SOCKET s = calls_.socket(AF_INET, SOCK_RAW, IPPROTO_IP);
  if (s == INVALID_SOCKET) return step_failed("socket");
  // Published at once: a wake during the rest of open closes the socket,
  // the next step fails, and the session, which is stopping, ends.
  socket_.store(static_cast<uintptr_t>(s), std::memory_order_release);
  raise_receive_buffer(static_cast<uintptr_t>(s));

  const char* failed = BindForReceiveAll(calls_, s, bind_address);
  if (failed != nullptr) return step_failed(failed);
  return open_ipv6(bind_address);
}

// The IPv6 socket beside the IPv4 one, on the same adapter. Documented for
// receive-all mode: an IPv6 socket of family AF_INET6, type SOCK_RAW and
// protocol IPPROTO_IPV6, bound to an explicit local address (not
// in6addr_any). A public report says that such a socket with protocol 41
// (IPPROTO_IPV6) receives nothing and one with protocol 0 works: protocol
// 0 is used. The documentation says recv then returns the IPv6 datagrams
// passing the interface; that they begin with their IPv6 header, as the
// IPv4 socket's begin with theirs, is relied on, and receive hands on only
// what begins with version 6.
bool RawSocketSource::open_ipv6(uint32_t bind_address) {
  sockaddr_in6 partner{};
  if (!FindIpv6Partner(calls_, bind_address, partner)) return true;  // IPv4 alone
  const SOCKET s = calls_.socket(AF_INET6, SOCK_RAW, 0);
  if (s == INVALID_SOCKET) {
    const int code = calls_.wsa_get_last_error();
    if (code == WSAEAFNOSUPPORT) return true;  // no IPv6 on this system: IPv4 alone
    error_ = StepError("socket (IPv6)", code);
    return false;
  }
  socket6_.store(static_cast<uintptr_t>(s), std::memory_order_release);
  two_sockets_ = true;
  raise_receive_buffer(static_cast<uintptr_t>(s));
  const char* failed = BindForReceiveAll6(calls_, s, partner);
  return failed == nullptr || step_failed(failed);
}

// Before receive-all mode is on, so that the first burst already has the
// room. SO_RCVBUF is documented as the buffer space reserved for receives;
// that a raw socket in receive-all mode queues its datagrams within it is
// relied on.
void RawSocketSource::raise_receive_buffer(uintptr_t handle) {
  for (const int size : kSocketBufferSizes) {
    if (calls_.setsockopt(static_cast<SOCKET>(handle), SOL_SOCKET, SO_RCVBUF,
                          reinterpret_cast<const char*>(&size), sizeof size) == 0) {
      return;
    }
  }
}

// Documented for recv on a message-oriented socket: one datagram per call;
// one longer than the buffer fills it with its first part, the call fails
// with WSAEMSGSIZE and the rest is lost. A datagram of 0 bytes is handed
// on as one (the session skips it with everything shorter than a header).
// The socket gives no time of arrival, so the clock is read right after
// recv returns with a datagram; the last error is fetched first on the cut
// datagram's path, while it is still recv's.
ReceiveStatus RawSocketSource::receive(uint8_t* buffer, size_t capacity, size_t& length,
                                       CaptureTime& time) {
  for (;;) {
    if (woken_.exchange(false, std::memory_order_acq_rel)) return ReceiveStatus::kWoken;
    const uintptr_t v4 = socket_.load(std::memory_order_acquire);
    if (!two_sockets_) return receive_on(Family::kIpv4, v4, buffer, capacity, length, time);
    const uintptr_t v6 = socket6_.load(std::memory_order_acquire);
    if (!ready4_ && !ready6_) {
      const ReceiveStatus waited = wait_for_either(v4, v6);
      if (waited != ReceiveStatus::kDatagram) return waited;
    }
    const Family family = ready4_ ? Family::kIpv4 : Family::kIpv6;
    (family == Family::kIpv4 ? ready4_ : ready6_) = false;
    const ReceiveStatus status = receive_on(family, family == Family::kIpv4 ? v4 : v6, buffer,
                                            capacity, length, time);
    // Bytes of the IPv6 socket that are no IPv6 datagram are not handed on.
    if (status == ReceiveStatus::kDatagram && family == Family::kIpv6 &&
        (length == 0 || buffer[0] >> 4 != 6)) {
      continue;
    }
    return status;
  }
}

// Documented for select: it blocks without a time limit until a socket of
// the read set has a datagram to receive, and marks the ones that have. A
// socket that wake closes under it makes it return (relied on, as for
// recv: closesocket cancels the blocking calls on the socket); the receive
// that follows then fails and finds the wake.
ReceiveStatus RawSocketSource::wait_for_either(uintptr_t v4, uintptr_t v6) {
  fd_set readable;
  FD_ZERO(&readable);
  if (v4 != kNoSocket) FD_SET(static_cast<SOCKET>(v4), &readable);
  if (v6 != kNoSocket) FD_SET(static_cast<SOCKET>(v6), &readable);
  if (readable.fd_count == 0) {
    if (woken_.exchange(false, std::memory_order_acq_rel)) return ReceiveStatus::kWoken;
    error_ = StepError("select", WSAENOTSOCK);
    return ReceiveStatus::kFailed;
  }
  if (calls_.select(0, &readable, nullptr, nullptr, nullptr) == SOCKET_ERROR) {
    const int code = calls_.wsa_get_last_error();
    if (woken_.exchange(false, std::memory_order_acq_rel)) return ReceiveStatus::kWoken;
    error_ = StepError("select", code);
    return ReceiveStatus::kFailed;
  }
  ready4_ = v4 != kNoSocket && FD_ISSET(static_cast<SOCKET>(v4), &readable);
  ready6_ = v6 != kNoSocket && FD_ISSET(static_cast<SOCKET>(v6), &readable);
  if (!ready4_ && !ready6_) {
    // Nothing ready after all: wait again, unless a wake came.
    if (woken_.exchange(false, std::memory_order_acq_rel)) return ReceiveStatus::kWoken;
  }
  return ReceiveStatus::kDatagram;  // a receive may follow
}

ReceiveStatus RawSocketSource::receive_on(Family family, uintptr_t handle, uint8_t* buffer,
                                          size_t capacity, size_t& length, CaptureTime& time) {
  const char* step = family == Family::kIpv4 ? "recv" : "recv (IPv6)";
  if (handle == kNoSocket) {
    if (woken_.exchange(false, std::memory_order_acq_rel)) return ReceiveStatus::kWoken;
    error_ = StepError(step, WSAENOTSOCK);
    return ReceiveStatus::kFailed;
  }
  const int room = capacity < INT_MAX ? static_cast<int>(capacity) : INT_MAX;
  const int n = calls_.recv(static_cast<SOCKET>(handle), reinterpret_cast<char*>(buffer), room, 0);
  if (n != SOCKET_ERROR) {
    time = Now(clock_);
    length = static_cast<size_t>(n);
    return ReceiveStatus::kDatagram;
  }
  const int code = calls_.wsa_get_last_error();
  if (code == WSAEMSGSIZE) {
    time = Now(clock_);
    length = static_cast<size_t>(room);
    return ReceiveStatus::kDatagram;
  }
  // wake() closes the socket under a blocked recv, which then fails
  // (WSAEINTR, or WSAENOTSOCK when the recv began after the close).
  if (woken_.exchange(false, std::memory_order_acq_rel)) return ReceiveStatus::kWoken;
  error_ = StepError(step, code);
  return ReceiveStatus::kFailed;
}

// Documented for closesocket: blocking calls pending on the socket in any
// thread of the process are cancelled; the handle may be reused by the
// system at once; and no other call should be made on the socket at the
// same time. A raw socket has no other way to end a blocked recv without
// traffic, so wake does close both sockets under the capture thread's recv
// or select (which then fails with WSAEINTR): whichever it waits on, it
// returns. Each handle is taken by exchange, so it is closed once; and
// since only the capture thread creates sockets in this program, a reused
// handle cannot reach its recv.
void RawSocketSource::wake() {
  waking_.fetch_add(1, std::memory_order_seq_cst);
  woken_.store(true, std::memory_order_seq_cst);
  close_socket(socket_.exchange(kNoSocket, std::memory_order_seq_cst));
  close_socket(socket6_.exchange(kNoSocket, std::memory_order_seq_cst));
  waking_.fetch_sub(1, std::memory_order_seq_cst);
}

// Documented: every successful WSAStartup is matched by one WSACleanup, and
// the last one releases the library (resetting any socket still open). A
// wake on another thread may be closing the sockets at this moment; the
// library is released only after those closes have returned.
void RawSocketSource::close() {
  close_socket(socket_.exchange(kNoSocket, std::memory_order_seq_cst));
  close_socket(socket6_.exchange(kNoSocket, std::memory_order_seq_cst));
  while (waking_.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
  if (library_started_) calls_.wsa_cleanup();
  library_started_ = false;
  woken_.store(false, std::memory_order_release);
  two_sockets_ = false;
  ready4_ = false;
  ready6_ = false;
}

void RawSocketSource::close_socket(uintptr_t handle) {
  if (handle != kNoSocket) calls_.closesocket(static_cast<SOCKET>(handle));
}

}  // namespace pw
