// FakeWinsock: a scripted socket library for the raw-socket source's tests
// under Wine. It plays scripted results and records every call, in order,
// with its arguments as a short text:
//   "WSAStartup 1.1", "socket 2 3 0", "setsockopt SO_RCVBUF 4194304",
//   "bind 2 127.0.0.1:0", "bind 23 [fe80::1%7]:0", "ioctlsocket SIO_RCVALL 1",
//   "GetAdaptersAddresses", "select 2", "recv 65536", "recv6 65536",
//   "closesocket", "WSACleanup".
// Scripts:
//   fail(call, error)     the next call of that kind fails with `error`
//                         (0: it succeeds, so that a later one can fail)
//   add_datagram(bytes)   a recv on the IPv4 socket delivers these bytes;
//                         into a smaller buffer it puts their first part
//                         and fails with WSAEMSGSIZE, as the library does
//   add_recv_error(error) a recv on the IPv4 socket fails with `error`
//   add_datagram6, add_recv_error6: the same for the IPv6 socket
//   enable_ipv6()         socket(AF_INET6) succeeds; without it, it fails
//                         with WSAEAFNOSUPPORT, as on a system without IPv6
//   add_adapter(...)      an adapter that GetAdaptersAddresses lists;
//   lose_adapter_list()   GetAdaptersAddresses is missing (the system's
//                         returns ERROR_PROC_NOT_FOUND then)
// A recv or select with nothing scripted for its sockets blocks until one
// of them is closed (from another thread), then fails with WSAEINTR; one
// still blocked after 20 seconds (the source hangs) fails with
// WSAETIMEDOUT and counts as a misuse, so that a test fails instead of
// hanging. Like the library it counts
// startups (other calls fail with WSANOTINITIALISED while none is active),
// keeps the last error per thread, and takes closed handles for no sockets
// (WSAENOTSOCK). Calls the library would refuse that way are counted as
// misuses.
//
// FakeClock: the system clock beside it, whose time tells when it was read.
// It is kStart plus one second and 100 ns for every datagram that the
// FakeWinsock's recv has delivered so far, so the time that a receive hands
// on shows whether the source read the clock before or after its recv
// returned.
#pragma once

#include <winsock2.h>
#include <mstcpip.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <map>

#include "capture/system_clock.h"
#include "capture/winsock_calls.h"
#include "engine/capture_time.h"
#include "packet/ip_address.h"

namespace pw::test {

class FakeWinsock final : public WinsockCalls {
 public:
  enum class Call { kStartup, kSocket, kSetOption, kBind, kIoctl, kSelect, kAdapters, kCount };

  // An adapter of GetAdaptersAddresses: its IPv4 addresses (wire order)
  // and IPv6 addresses (texts, each with its scope id in the list).
  struct Adapter {
    std::vector<uint32_t> ipv4;
    std::vector<std::pair<const char*, ULONG>> ipv6;
    ULONG ipv6_index = 0;
  };

  void fail(Call call, int error) {
    std::lock_guard lock(mutex_);
    failures_[static_cast<size_t>(call)].push_back(error);
  }
  void add_datagram(std::vector<uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    script_[AF_INET].push_back({std::move(bytes), 0});
    changed_.notify_all();
  }
  void add_recv_error(int error) {
    std::lock_guard lock(mutex_);
    script_[AF_INET].push_back({{}, error});
  }
  void add_datagram6(std::vector<uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    script_[AF_INET6].push_back({std::move(bytes), 0});
    changed_.notify_all();
  }
  void add_recv_error6(int error) {
    std::lock_guard lock(mutex_);
    script_[AF_INET6].push_back({{}, error});
  }
  void enable_ipv6() {
    std::lock_guard lock(mutex_);
    ipv6_ = true;
  }
  void add_adapter(Adapter adapter) {
    std::lock_guard lock(mutex_);
    adapters_.push_back(std::move(adapter));
  }
  void lose_adapter_list() {
    std::lock_guard lock(mutex_);
    adapters_missing_ = true;
  }
  // The next closesocket waits, before it does anything, until
  // release_close() (or kHang, as a misuse).
  void hold_next_close() {
    std::lock_guard lock(mutex_);
    hold_close_ = true;
  }
  void release_close() {
    {
      std::lock_guard lock(mutex_);
      close_held_ = false;
    }
    changed_.notify_all();
  }

  int wsa_startup(WORD version, WSADATA* data) override {
    std::lock_guard lock(mutex_);
    record("WSAStartup " + std::to_string(LOBYTE(version)) + "." +
           std::to_string(HIBYTE(version)));
    if (const int error = take_failure(Call::kStartup)) return error;
    *data = WSADATA{};
    data->wVersion = version;
    data->wHighVersion = MAKEWORD(2, 2);
    ++active_;
    ++startups_;
    return 0;
  }
  int wsa_cleanup() override {
    std::lock_guard lock(mutex_);
    record("WSACleanup");
    if (active_ == 0) return refuse(WSANOTINITIALISED);
    ++cleanups_;
    if (--active_ == 0) {
      left_open_ += static_cast<int>(open_.size());
      open_.clear();
    }
    changed_.notify_all();
    return 0;
  }
  SOCKET socket(int family, int type, int protocol) override {
    std::lock_guard lock(mutex_);
    record("socket " + std::to_string(family) + " " + std::to_string(type) + " " +
           std::to_string(protocol));
    if (active_ == 0) {
      refuse(WSANOTINITIALISED);
      return INVALID_SOCKET;
    }
    if (const int error = take_failure(Call::kSocket)) {
      fail_with(error);
      return INVALID_SOCKET;
    }
    if (family == AF_INET6 && !ipv6_) {
      fail_with(WSAEAFNOSUPPORT);
      return INVALID_SOCKET;
    }
    const SOCKET s = next_handle_++;
    open_.insert(s);
    family_[s] = family;
    ++sockets_;
    return s;
  }
  int setsockopt(SOCKET s, int level, int name, const char* value, int size) override {
    std::lock_guard lock(mutex_);
    int number = 0;
    if (size == sizeof number) std::memcpy(&number, value, sizeof number);
    const bool rcvbuf = level == SOL_SOCKET && name == SO_RCVBUF;
    record("setsockopt " + (rcvbuf ? std::string("SO_RCVBUF") : std::to_string(name)) + " " +
           std::to_string(number));
    return result_on(s, Call::kSetOption);
  }
  int bind(SOCKET s, const sockaddr* address, int size) override {
    std::lock_guard lock(mutex_);
    if (size == sizeof(sockaddr_in6) && address->sa_family == AF_INET6) {
      sockaddr_in6 in6{};
      std::memcpy(&in6, address, sizeof in6);
      const IpAddress a = Ipv6FromBytes(in6.sin6_addr.s6_addr);
      const std::string scope =
          in6.sin6_scope_id != 0 ? "%" + std::to_string(in6.sin6_scope_id) : "";
      record("bind 23 [" + std::string(FormatIpAddress(a).view()) + scope + "]:" +
             std::to_string(ntohs(in6.sin6_port)));
      return result_on(s, Call::kBind);
    }
    sockaddr_in in{};
    if (size == sizeof in) std::memcpy(&in, address, sizeof in);
    const uint32_t a = ntohl(in.sin_addr.s_addr);
    record("bind " + std::to_string(in.sin_family) + " " + std::to_string(a >> 24) + "." +
           std::to_string(a >> 16 & 255) + "." + std::to_string(a >> 8 & 255) + "." +
           std::to_string(a & 255) + ":" + std::to_string(ntohs(in.sin_port)));
    return result_on(s, Call::kBind);
  }
  int ioctlsocket(SOCKET s, long command, u_long* argument) override {
    std::lock_guard lock(mutex_);
    const bool rcvall = static_cast<unsigned long>(command) == SIO_RCVALL;
    record("ioctlsocket " + (rcvall ? std::string("SIO_RCVALL") : std::to_string(command)) +
           " " + std::to_string(*argument));
    return result_on(s, Call::kIoctl);
  }
  int recv(SOCKET s, char* buffer, int size, int flags) override {
    std::unique_lock lock(mutex_);
    const bool v6 = family_[s] == AF_INET6;
    record((v6 ? "recv6 " : "recv ") + std::to_string(size) + (flags != 0 ? " flags" : ""));
    if (active_ == 0) return refuse(WSANOTINITIALISED);
    if (open_.count(s) == 0) return refuse(WSAENOTSOCK);
    std::deque<Delivery>& script = script_[family_[s]];
    if (script.empty()) {
      ++blocked_;
      changed_.notify_all();
      const bool closed =
          changed_.wait_for(lock, kHang, [&] { return open_.count(s) == 0; });
      --blocked_;
      return closed ? fail_with(WSAEINTR) : refuse(WSAETIMEDOUT);
    }
    const Delivery d = std::move(script.front());
    script.pop_front();
    if (d.error != 0) return fail_with(d.error);
    const size_t n = d.bytes.size() < size_t(size) ? d.bytes.size() : size_t(size);
    if (n > 0) std::memcpy(buffer, d.bytes.data(), n);
    ++deliveries_;
    return d.bytes.size() > n ? fail_with(WSAEMSGSIZE) : static_cast<int>(n);
  }
  // Blocks until one of the read set's sockets has something scripted or
  // is closed; leaves in the set the ones that have.
  int select(int, fd_set* read, fd_set* write, fd_set* except, timeval* timeout) override {
    std::unique_lock lock(mutex_);
    record("select " + std::to_string(read != nullptr ? read->fd_count : 0));
    if (active_ == 0) return refuse(WSANOTINITIALISED);
    if (read == nullptr || write != nullptr || except != nullptr || timeout != nullptr) {
      return refuse(WSAEINVAL);
    }
    if (const int error = take_failure(Call::kSelect)) return fail_with(error);
    const std::vector<SOCKET> asked(read->fd_array, read->fd_array + read->fd_count);
    for (const SOCKET s : asked) {
      if (open_.count(s) == 0) return refuse(WSAENOTSOCK);
    }
    const auto has = [&](SOCKET s) { return !script_[family_[s]].empty(); };
    const auto any = [&] {
      for (const SOCKET s : asked) {
        if (open_.count(s) == 0 || has(s)) return true;
      }
      return false;
    };
    if (!any()) {
      ++blocked_;
      changed_.notify_all();
      const bool woke = changed_.wait_for(lock, kHang, any);
      --blocked_;
      if (!woke) return refuse(WSAETIMEDOUT);
    }
    for (const SOCKET s : asked) {
      if (open_.count(s) == 0) return fail_with(WSAEINTR);
    }
    FD_ZERO(read);
    for (const SOCKET s : asked) {
      if (has(s)) FD_SET(s, read);
    }
    return static_cast<int>(read->fd_count);
  }
  // Lays the scripted adapters out in the caller's buffer as the IP helper
  // does: the records, their unicast entries and socket addresses, linked
  // by pointers into the buffer.
  ULONG get_adapters_addresses(ULONG family, ULONG, IP_ADAPTER_ADDRESSES* adapters,
                               ULONG* size) override {
    std::lock_guard lock(mutex_);
    record("GetAdaptersAddresses");
    if (adapters_missing_) return ERROR_PROC_NOT_FOUND;
    if (const int error = take_failure(Call::kAdapters)) return static_cast<ULONG>(error);
    if (family != AF_UNSPEC) ++misuses_;
    size_t needed = 0;
    for (const Adapter& a : adapters_) {
      needed += sizeof(IP_ADAPTER_ADDRESSES) +
                a.ipv4.size() * (sizeof(IP_ADAPTER_UNICAST_ADDRESS) + sizeof(sockaddr_in)) +
                a.ipv6.size() * (sizeof(IP_ADAPTER_UNICAST_ADDRESS) + sizeof(sockaddr_in6) + 8);
    }
    if (adapters_.empty()) return ERROR_NO_DATA;
    if (*size < needed) {
      *size = static_cast<ULONG>(needed);
      return ERROR_BUFFER_OVERFLOW;
    }
    std::memset(adapters, 0, *size);
    auto* at = reinterpret_cast<uint8_t*>(adapters);
    const auto take = [&at](size_t n) {
      uint8_t* p = at;
      at += (n + 7) / 8 * 8;
      return p;
    };
    IP_ADAPTER_ADDRESSES* previous = nullptr;
    for (const Adapter& a : adapters_) {
      auto* entry = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(take(sizeof(IP_ADAPTER_ADDRESSES)));
      entry->Ipv6IfIndex = a.ipv6_index;
      if (previous != nullptr) previous->Next = entry;
      previous = entry;
      IP_ADAPTER_UNICAST_ADDRESS** link = &entry->FirstUnicastAddress;
      const auto add = [&](const void* address, size_t length) {
        auto* u = reinterpret_cast<IP_ADAPTER_UNICAST_ADDRESS*>(
            take(sizeof(IP_ADAPTER_UNICAST_ADDRESS)));
        uint8_t* copy = take(length);
        std::memcpy(copy, address, length);
        u->Address.lpSockaddr = reinterpret_cast<sockaddr*>(copy);
        u->Address.iSockaddrLength = static_cast<INT>(length);
        *link = u;
        link = &u->Next;
      };
      for (const uint32_t v4 : a.ipv4) {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(v4);
        add(&in, sizeof in);
      }
      for (const auto& [text, scope] : a.ipv6) {
        sockaddr_in6 in6{};
        in6.sin6_family = AF_INET6;
        IpAddress parsed;
        ReadIpv6Text(text, parsed);
        for (size_t i = 0; i < 16; ++i) in6.sin6_addr.s6_addr[i] = parsed.byte(i);
        in6.sin6_scope_id = scope;
        add(&in6, sizeof in6);
      }
    }
    return NO_ERROR;
  }
  int closesocket(SOCKET s) override {
    std::unique_lock lock(mutex_);
    if (hold_close_) {
      hold_close_ = false;
      close_held_ = true;
      changed_.notify_all();
      if (!changed_.wait_for(lock, kHang, [this] { return !close_held_; })) {
        close_held_ = false;  // never released: the test went wrong
        ++misuses_;
      }
    }
    record("closesocket");
    if (active_ == 0) return refuse(WSANOTINITIALISED);
    if (open_.erase(s) == 0) return refuse(WSAENOTSOCK);
    ++closed_;
    changed_.notify_all();
    return 0;
  }
  int wsa_get_last_error() override { return last_error_; }

  // Waits until a recv is blocked, or a closesocket is held; false after
  // kHang.
  bool wait_for_blocked_recv() { return wait_until([this] { return blocked_ > 0; }); }
  bool wait_for_held_close() { return wait_until([this] { return close_held_; }); }

  std::vector<std::string> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  // recv calls that have delivered a datagram, whole or cut.
  int deliveries() const {
    std::lock_guard lock(mutex_);
    return deliveries_;
  }
  // "startups S, cleanups C, sockets N, closed K, left open L, misuses M".
  std::string tally() const {
    std::lock_guard lock(mutex_);
    return "startups " + std::to_string(startups_) + ", cleanups " + std::to_string(cleanups_) +
           ", sockets " + std::to_string(sockets_) + ", closed " + std::to_string(closed_) +
           ", left open " + std::to_string(left_open_) + ", misuses " + std::to_string(misuses_);
  }

 private:
  struct Delivery {
    std::vector<uint8_t> bytes;
    int error;
  };

  void record(std::string call) { calls_.push_back(std::move(call)); }
  int take_failure(Call call) {
    std::deque<int>& queue = failures_[static_cast<size_t>(call)];
    if (queue.empty()) return 0;
    const int error = queue.front();
    queue.pop_front();
    return error;
  }
  int fail_with(int error) {
    last_error_ = error;
    return SOCKET_ERROR;
  }
  int refuse(int error) {
    ++misuses_;
    return fail_with(error);
  }
  int result_on(SOCKET s, Call call) {
    if (active_ == 0) return refuse(WSANOTINITIALISED);
    if (open_.count(s) == 0) return refuse(WSAENOTSOCK);
    if (const int error = take_failure(call)) return fail_with(error);
    return 0;
  }
  template <typename Ready>
  bool wait_until(Ready ready) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kHang, ready);
  }

  static constexpr std::chrono::seconds kHang{20};

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<int> failures_[static_cast<size_t>(Call::kCount)];
  std::map<int, std::deque<Delivery>> script_;  // by socket family
  std::map<SOCKET, int> family_;
  std::vector<Adapter> adapters_;
  bool adapters_missing_ = false;
  bool ipv6_ = false;
  std::vector<std::string> calls_;
  std::set<SOCKET> open_;
  SOCKET next_handle_ = 100;
  bool hold_close_ = false;
  bool close_held_ = false;
  int active_ = 0;
  int blocked_ = 0;
  int startups_ = 0;
  int cleanups_ = 0;
  int sockets_ = 0;
  int closed_ = 0;
  int left_open_ = 0;
  int misuses_ = 0;
  int deliveries_ = 0;
  // The library keeps the last error per thread.
  static inline thread_local int last_error_ = 0;
};

class FakeClock final : public ClockCalls {
 public:
  // 2024-01-01 00:00:00.1234567 UTC: 13,348,540,800 s after 1601 and
  // 1,234,567 intervals of 100 ns.
  static constexpr uint64_t kStart = 133'485'408'001'234'567;
  static constexpr uint64_t kPerDelivery = 10'000'001;

  // What the clock reads after `deliveries` datagrams, worked out without
  // the source's conversion.
  static constexpr CaptureTime TimeAfter(uint64_t deliveries) {
    return NormalisedTime(1'704'067'200, 123'456'700 + deliveries * 1'000'000'100);
  }

  explicit FakeClock(const FakeWinsock& winsock) : winsock_(winsock) {}

  void get_system_time(FILETIME* time) override {
    const uint64_t ticks = kStart + kPerDelivery * static_cast<uint64_t>(winsock_.deliveries());
    time->dwLowDateTime = static_cast<DWORD>(ticks);
    time->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    reads_.fetch_add(1);
  }
  int reads() const { return reads_.load(); }

 private:
  const FakeWinsock& winsock_;
  std::atomic<int> reads_{0};
};

}  // namespace pw::test
