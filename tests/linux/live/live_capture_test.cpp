// Real capture on the loopback device (127.0.0.1, and ::1 beside it) of a
// network namespace of the tests' own, which no other process's traffic
// reaches: datagrams that the test sends itself appear once each with the
// right rows, of both families in one session, a port filter holds, each
// keeps the kernel's time for it in nanoseconds, "stop" ends a session that
// is blocked waiting for traffic, and a thousand start/stop cycles under
// traffic neither hang nor lose or half-list a row. Needs root; skips
// otherwise. Every loop is bounded in count and time.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/pcap_source.h"
#include "capture/privilege.h"
#include "engine/capture_session.h"
#include "linux/own_network.h"
#include "support/recording_view.h"

namespace pw {
namespace {

using Clock = std::chrono::steady_clock;

// A UDP socket bound to 127.0.0.1 on a port the system chooses.
class UdpSocket {
 public:
  UdpSocket() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in a = Loopback(0);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
  }
  ~UdpSocket() { close(fd_); }
  uint16_t port() const { return port_; }
  bool send_to(uint16_t port, const std::string& payload) const {
    const sockaddr_in to = Loopback(port);
    return sendto(fd_, payload.data(), payload.size(), 0,
                  reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(payload.size());
  }
  static sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
  }

 private:
  int fd_;
  uint16_t port_ = 0;
};

StartRequest Loopback(std::string_view to_field, ProtocolSwitches protocols) {
  StartRequest r;
  r.origin = NetworkOrigin(0x7F000001);  // the loopback device
  r.from_field = "*:*";
  r.to_field = to_field;
  r.protocols = protocols;
  return r;
}

// The system's time of day, as the kernel stamps captured frames with it.
CaptureTime WallClockNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return {now.tv_sec, static_cast<uint32_t>(now.tv_nsec)};
}

// Waits (at most 5 s) until the view holds `n` rows.
bool WaitForRows(const test::RecordingView& view, size_t n) {
  const auto until = Clock::now() + std::chrono::seconds(5);
  while (view.row_count() < n && Clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return view.row_count() >= n;
}

// Each test in a network namespace of its own (skipped without root).
class LiveTest : public test::OwnNetworkTest {
 protected:
  std::unique_ptr<CaptureStore> store_ = std::make_unique<CaptureStore>();
  test::RecordingView view_;
  PcapLiveSource source_;
  CaptureSession session_{*store_, view_, source_};

  // Every test skips unless the process may capture.
  StartOutcome Start(const StartRequest& request) {
    return session_.start(request, RightsToRead(request.origin, SystemPrivilegeCheck()));
  }
};

// One port bound on [::1] and on 127.0.0.1 by two UDP sockets, which
// receive what the test sends there.
struct DualStackPort {
  int v6 = socket(AF_INET6, SOCK_DGRAM, 0);
  int v4 = socket(AF_INET, SOCK_DGRAM, 0);
  uint16_t port = 0;

  DualStackPort() {
    for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
      sockaddr_in6 a6{};
      a6.sin6_family = AF_INET6;
      a6.sin6_addr = in6addr_loopback;
      if (bind(v6, reinterpret_cast<sockaddr*>(&a6), sizeof a6) != 0) break;
      socklen_t n = sizeof a6;
      getsockname(v6, reinterpret_cast<sockaddr*>(&a6), &n);
      const sockaddr_in a4 = UdpSocket::Loopback(ntohs(a6.sin6_port));
      if (bind(v4, reinterpret_cast<const sockaddr*>(&a4), sizeof a4) == 0) {
        port = ntohs(a6.sin6_port);
      } else {  // taken on 127.0.0.1: another port
        close(v6);
        v6 = socket(AF_INET6, SOCK_DGRAM, 0);
      }
    }
  }
  ~DualStackPort() {
    close(v6);
    close(v4);
  }
};

// Both families in one session on lo: UDP to [::1] and to 127.0.0.1, each
// once, in the order sent, and "*:PORT" takes both. The session looks only
// at the port that the test bound on both addresses, in the tests' own
// network namespace.
TEST_F(LiveTest, UdpToBothLoopbackAddressesInOneSession) {
  DualStackPort target;
  ASSERT_NE(target.port, 0);
  const int sender6 = socket(AF_INET6, SOCK_DGRAM, 0);
  UdpSocket sender4;
  sockaddr_in6 from6{};
  from6.sin6_family = AF_INET6;
  from6.sin6_addr = in6addr_loopback;
  ASSERT_EQ(bind(sender6, reinterpret_cast<sockaddr*>(&from6), sizeof from6), 0);
  socklen_t n = sizeof from6;
  getsockname(sender6, reinterpret_cast<sockaddr*>(&from6), &n);
  const std::string port = std::to_string(target.port);
  ASSERT_EQ(Start(Loopback("*:" + port, {false, true, false, false, false})),
            StartOutcome::kStarted);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the device is open
  sockaddr_in6 to6 = from6;
  to6.sin6_port = htons(target.port);
  std::vector<std::string> expected;
  for (int i = 0; i < 3; ++i) {
    const std::string payload(5 + i, 'v');
    ASSERT_EQ(sendto(sender6, payload.data(), payload.size(), 0,
                     reinterpret_cast<const sockaddr*>(&to6), sizeof to6),
              static_cast<ssize_t>(payload.size()));
    ASSERT_TRUE(sender4.send_to(target.port, payload));
    expected.push_back("\t" + std::to_string(2 * i) + "\tudp\t::1\t" +
                       std::to_string(ntohs(from6.sin6_port)) + "\t::1\t" + port + "\t" +
                       std::to_string(48 + payload.size()) + "\t64");
    expected.push_back("\t" + std::to_string(2 * i + 1) + "\tudp\t127.0.0.1\t" +
                       std::to_string(sender4.port()) + "\t127.0.0.1\t" + port + "\t" +
                       std::to_string(28 + payload.size()) + "\t64");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // in this order
  }
  ASSERT_TRUE(WaitForRows(view_, 6));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // no second copies
  session_.stop();
  close(sender6);
  EXPECT_EQ(view_.rows(), expected);
  EXPECT_EQ(store_->pool_fill.load(), 3u * (48 + 28) + 2u * (5 + 6 + 7));
}

TEST_F(LiveTest, UdpDatagramsAppearOnceEachAndThePortFilterHolds) {
  UdpSocket sender;
  UdpSocket receiver;
  UdpSocket other;
  const std::string to = "127.0.0.1:" + std::to_string(receiver.port());
  ASSERT_EQ(Start(Loopback(to, {false, true, false, false, false})),
            StartOutcome::kStarted);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the device is open
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(sender.send_to(other.port(), "not this one"));
    ASSERT_TRUE(sender.send_to(receiver.port(), std::string(10 * (i + 1), 'x')));
  }
  ASSERT_TRUE(WaitForRows(view_, 5));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // no second copies
  session_.stop();
  EXPECT_EQ(source_.device(), "lo");
  std::vector<std::string> expected;
  for (int i = 0; i < 5; ++i) {
    expected.push_back("\t" + std::to_string(i) + "\tudp\t127.0.0.1\t" +
                       std::to_string(sender.port()) + "\t127.0.0.1\t" +
                       std::to_string(receiver.port()) + "\t" + std::to_string(28 + 10 * (i + 1)) +
                       "\t64");
  }
  EXPECT_EQ(view_.rows(), expected);
  EXPECT_EQ(store_->pool_fill.load(), 5u * 28u + 150u);
  EXPECT_EQ(source_.kernel_drops(), 0u);
}

// The snapshot length cuts no datagram: the largest one on lo is stored
// whole, 65,535 bytes after its 14-byte link header.
TEST_F(LiveTest, TheLargestDatagramIsStoredWhole) {
  UdpSocket sender;
  UdpSocket receiver;
  const std::string to = "127.0.0.1:" + std::to_string(receiver.port());
  ASSERT_EQ(Start(Loopback(to, {false, true, false, false, false})),
            StartOutcome::kStarted);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the device is open
  ASSERT_TRUE(sender.send_to(receiver.port(), std::string(65535 - 28, 'x')));
  ASSERT_TRUE(WaitForRows(view_, 1));
  session_.stop();
  const StoredDatagrams all = StoredDatagramsOf(*store_);
  ASSERT_EQ(all.lengths.size(), 1u);
  EXPECT_EQ(all.lengths[0], 65535u);
  EXPECT_EQ(all.original_lengths[0], 65535u);
}

// The kernel stamps each frame between the send and the row: a time read
// before the send bounds it from below, one read when all rows are listed
// from above. Where the system's clock has nanoseconds, so have the times.
TEST_F(LiveTest, EachDatagramKeepsTheKernelsTimeInNanoseconds) {
  UdpSocket sender;
  UdpSocket receiver;
  const std::string to = "127.0.0.1:" + std::to_string(receiver.port());
  ASSERT_EQ(Start(Loopback(to, {false, true, false, false, false})),
            StartOutcome::kStarted);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the device is open
  constexpr size_t kSent = 20;
  std::vector<CaptureTime> before_send;
  for (size_t i = 0; i < kSent; ++i) {
    before_send.push_back(WallClockNow());
    ASSERT_TRUE(sender.send_to(receiver.port(), "time " + std::to_string(i)));
  }
  ASSERT_TRUE(WaitForRows(view_, kSent));
  const CaptureTime listed = WallClockNow();
  session_.stop();
  const StoredDatagrams all = StoredDatagramsOf(*store_);
  ASSERT_EQ(all.times.size(), kSent);
  bool clock_has_nanoseconds = false;
  bool times_have_nanoseconds = false;
  for (size_t i = 0; i < kSent; ++i) {
    const CaptureTime t = all.times[i];
    EXPECT_LE(before_send[i], t) << i << ": " << t.seconds << "." << t.nanoseconds;
    EXPECT_LE(t, listed) << i << ": " << t.seconds << "." << t.nanoseconds;
    clock_has_nanoseconds |= before_send[i].nanoseconds % 1000 != 0;
    times_have_nanoseconds |= t.nanoseconds % 1000 != 0;
  }
  if (clock_has_nanoseconds) {
    EXPECT_TRUE(times_have_nanoseconds);
  }
}

TEST_F(LiveTest, IcmpEchoAndItsReplyAppearOnceEach) {
  const int raw = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
  ASSERT_GE(raw, 0);
  ASSERT_EQ(Start(Loopback("127.0.0.1:*", {false, false, true, false, false})),
            StartOutcome::kStarted);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // Echo request, identifier 0x5057, sequence 1, 10 bytes of payload.
  uint8_t echo[18] = {8, 0, 0, 0, 0x50, 0x57, 0, 1, 'p', 'e', 'b', 'b', 'l', 'e', 'w', 'i', 'r', 'e'};
  uint32_t sum = 0;
  for (size_t i = 0; i < sizeof echo; i += 2) sum += uint32_t(echo[i] << 8 | echo[i + 1]);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  echo[2] = static_cast<uint8_t>(~sum >> 8);
  echo[3] = static_cast<uint8_t>(~sum);
  const sockaddr_in to = UdpSocket::Loopback(0);
  ASSERT_EQ(sendto(raw, echo, sizeof echo, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to),
            static_cast<ssize_t>(sizeof echo));
  close(raw);
  WaitForRows(view_, 2);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  session_.stop();
  // Count the stored datagrams that carry this echo: the request once, and
  // the reply once unless the system ignores echo requests.
  int requests = 0;
  int replies = 0;
  const std::vector<std::string> rows = view_.rows();
  for (uint32_t k = 0; k < rows.size(); ++k) {
    DatagramLocation where{};
    ASSERT_TRUE(LocateDatagram(*store_, k, where));
    const uint8_t* d = store_->byte_pool + where.offset;
    if (where.length != 38 || d[24] != 0x50 || d[25] != 0x57) continue;
    EXPECT_EQ(rows[k], "\t" + std::to_string(k) + "\ticmp\t127.0.0.1\t0\t127.0.0.1\t0\t38\t64");
    if (d[20] == 8) ++requests;
    if (d[20] == 0) ++replies;
  }
  EXPECT_EQ(requests, 1);
  EXPECT_LE(replies, 1);
}

TEST_F(LiveTest, StopWhileBlockedInReceiveReturnsPromptly) {
  UdpSocket unused;  // nothing is sent here: the thread waits for traffic
  const std::string to = "127.0.0.1:" + std::to_string(unused.port());
  double worst_ms = 0;
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(Start(Loopback(to, {true, true, true, true, true})),
              StartOutcome::kStarted);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto begin = Clock::now();
    session_.stop();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
    worst_ms = std::max(worst_ms, ms);
    EXPECT_EQ(view_.events().back(), "stopped");
    EXPECT_EQ(view_.row_count(), 0u);
  }
  std::printf("stop while blocked in receive: worst of 20 took %.2f ms\n", worst_ms);
  RecordProperty("stop_while_blocked_worst_ms", std::to_string(worst_ms));
}

TEST_F(LiveTest, ThousandStartStopCyclesUnderTraffic) {
  UdpSocket receiver;
  std::atomic<bool> done{false};
  std::atomic<long> sent{0};
  std::thread traffic([&] {
    UdpSocket sender;
    const auto until = Clock::now() + std::chrono::minutes(5);  // bound in time
    while (!done.load() && Clock::now() < until && sent.load() < 50'000'000) {
      sender.send_to(receiver.port(), "traffic " + std::to_string(sent.load()));
      sent.fetch_add(1);
      if (sent.load() % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  });
  const std::string to = "127.0.0.1:" + std::to_string(receiver.port());
  size_t total_rows = 0;
  size_t limit_ends = 0;
  for (int cycle = 0; cycle < 1000; ++cycle) {
    StartRequest request = Loopback(to, {false, true, false, false, false});
    request.packet_limit = cycle % 10 == 0 ? 5 : 0;  // some also end by themselves
    view_.clear_events();
    ASSERT_EQ(Start(request), StartOutcome::kStarted);
    // Those with a limit run long enough to reach it about when "stop" comes.
    std::this_thread::sleep_for(cycle % 10 == 0 ? std::chrono::microseconds(8000 + 400 * (cycle % 30))
                                                : std::chrono::microseconds(500 * (cycle % 15)));
    session_.stop();
    const std::vector<std::string> events = view_.events();
    ASSERT_EQ(events.back(), "stopped") << cycle;
    for (const std::string& e : events) {
      if (e.rfind("ended", 0) == 0) {
        ASSERT_EQ(e, "ended limit") << cycle;
        ++limit_ends;
      }
    }
    // Every listed row is whole in the store and in the sniff log, in order,
    // and describes a datagram of this traffic.
    const std::vector<std::string> rows = view_.rows();
    std::string log;
    for (uint32_t k = 0; k < rows.size(); ++k) {
      DatagramLocation where{};
      ASSERT_TRUE(LocateDatagram(*store_, k, where)) << cycle;
      ASSERT_EQ(rows[k].rfind("\t" + std::to_string(k) + "\tudp\t127.0.0.1\t", 0), 0u) << rows[k];
      log += rows[k] + "\r\n";
    }
    ASSERT_EQ(SniffLogText(*store_), log) << cycle;
    total_rows += rows.size();
  }
  // Opening the device can take longer than a cycle (ThreadSanitizer makes
  // it tens of milliseconds), so the cycles above may list nothing at all.
  // One last session under the same traffic shows that the capture works.
  StartRequest last = Loopback(to, {false, true, false, false, false});
  last.packet_limit = 5;
  view_.clear_events();
  ASSERT_EQ(Start(last), StartOutcome::kStarted);
  EXPECT_TRUE(view_.wait_ended(static_cast<int>(limit_ends) + 1, std::chrono::seconds(60)));
  session_.stop();
  EXPECT_EQ(view_.rows().size(), 5u);
  done.store(true);
  traffic.join();
  std::printf("1000 start/stop cycles: %zu rows listed, %zu sessions ended at their limit, "
              "%ld datagrams sent\n",
              total_rows, limit_ends, sent.load());
}

}  // namespace
}  // namespace pw
