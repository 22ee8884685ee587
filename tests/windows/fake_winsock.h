// FakeWinsock: a scripted socket library for the raw-socket source's tests
// under Wine. It plays scripted results and records every call, in order,
// with its arguments as a short text:
//   "WSAStartup 1.1", "socket 2 3 0", "setsockopt SO_RCVBUF 4194304",
//   "bind 2 127.0.0.1:0", "ioctlsocket SIO_RCVALL 1", "recv 65536",
//   "closesocket", "WSACleanup".
// Scripts:
//   fail(call, error)     the next call of that kind fails with `error`
//   add_datagram(bytes)   a recv delivers these bytes; into a smaller buffer
//                         it puts their first part and fails with
//                         WSAEMSGSIZE, as the library does
//   add_recv_error(error) a recv fails with `error`
// A recv with nothing scripted blocks until its socket is closed (from
// another thread), then fails with WSAEINTR; one still blocked after 20
// seconds (the source hangs) fails with WSAETIMEDOUT and counts as a
// misuse, so that a test fails instead of hanging. Like the library it counts
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

#include "capture/system_clock.h"
#include "capture/winsock_calls.h"
#include "engine/capture_time.h"

namespace pw::test {

class FakeWinsock final : public WinsockCalls {
 public:
  enum class Call { kStartup, kSocket, kSetOption, kBind, kIoctl, kCount };

  void fail(Call call, int error) {
    std::lock_guard lock(mutex_);
    failures_[static_cast<size_t>(call)].push_back(error);
  }
  void add_datagram(std::vector<uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    script_.push_back({std::move(bytes), 0});
  }
  void add_recv_error(int error) {
    std::lock_guard lock(mutex_);
    script_.push_back({{}, error});
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
    const SOCKET s = next_handle_++;
    open_.insert(s);
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
    record("recv " + std::to_string(size) + (flags != 0 ? " flags" : ""));
    if (active_ == 0) return refuse(WSANOTINITIALISED);
    if (open_.count(s) == 0) return refuse(WSAENOTSOCK);
    if (script_.empty()) {
      ++blocked_;
      changed_.notify_all();
      const bool closed =
          changed_.wait_for(lock, kHang, [&] { return open_.count(s) == 0; });
      --blocked_;
      return closed ? fail_with(WSAEINTR) : refuse(WSAETIMEDOUT);
    }
    const Delivery d = std::move(script_.front());
    script_.pop_front();
    if (d.error != 0) return fail_with(d.error);
    const size_t n = d.bytes.size() < size_t(size) ? d.bytes.size() : size_t(size);
    if (n > 0) std::memcpy(buffer, d.bytes.data(), n);
    ++deliveries_;
    return d.bytes.size() > n ? fail_with(WSAEMSGSIZE) : static_cast<int>(n);
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
  std::deque<Delivery> script_;
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
