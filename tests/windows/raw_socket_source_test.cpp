// The raw-socket source's own logic over a scripted socket library: what it
// asks the library for, how it reports each failing step, what a receive
// makes of each result and which time it gives, how wake ends a blocked
// receive, and that every socket it opens is closed once and every startup
// is matched by a cleanup.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/raw_socket_source.h"
#include "engine/capture_session.h"
#include "support/datagram_builder.h"
#include "support/fakes.h"
#include "support/recording_view.h"
#include "ui/interface_slots.h"
#include "windows/fake_winsock.h"

namespace pw {
namespace {

using test::FakeClock;
using test::FakeWinsock;
using Call = FakeWinsock::Call;

constexpr uint32_t kLoopback = 0x7F000001;
constexpr char kBalanced[] =
    "startups 1, cleanups 1, sockets 1, closed 1, left open 0, misuses 0";
constexpr char kUntouched[] =
    "startups 0, cleanups 0, sockets 0, closed 0, left open 0, misuses 0";

// What a successful open on 127.0.0.1 asks of the library, in order.
const std::vector<std::string> kOpenCalls = {
    "WSAStartup 1.1", "socket 2 3 0", "setsockopt SO_RCVBUF 4194304",
    "bind 2 127.0.0.1:0", "ioctlsocket SIO_RCVALL 1"};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(RawSocketSource, OpenAndCloseOnEveryPath) {
  const std::vector<std::string> none;
  struct Case {
    const char* name;
    uint32_t address;
    Call failing;
    int error;
    const char* error_text;  // empty: open succeeds
    size_t open_calls;       // how many of kOpenCalls open makes
    std::vector<std::string> close_calls;
    const char* tally;
  } cases[] = {
      {"all steps succeed", kLoopback, Call::kCount, 0, "", 5, {"closesocket", "WSACleanup"},
       kBalanced},
      {"any address", 0, Call::kCount, 0,
       "bind: receive-all mode needs the address of one interface, not 0.0.0.0", 0, none,
       kUntouched},
      {"startup", kLoopback, Call::kStartup, WSAVERNOTSUPPORTED,
       "WSAStartup: socket library version 1.1 is not available (10092)", 1, none,
       kUntouched},
      {"socket", kLoopback, Call::kSocket, WSAEACCES,
       "socket: access denied (administrators rights required) (10013)", 2, {"WSACleanup"},
       "startups 1, cleanups 1, sockets 0, closed 0, left open 0, misuses 0"},
      {"socket, unnamed error", kLoopback, Call::kSocket, WSAHOST_NOT_FOUND,
       "socket: socket error (11001)", 2, {"WSACleanup"},
       "startups 1, cleanups 1, sockets 0, closed 0, left open 0, misuses 0"},
      {"bind", kLoopback, Call::kBind, WSAEADDRNOTAVAIL,
       "bind: the address is not an address of this computer (10049)", 4,
       {"closesocket", "WSACleanup"}, kBalanced},
      {"receive-all", kLoopback, Call::kIoctl, WSAEOPNOTSUPP,
       "receive-all mode: not supported by this system (10045)", 5,
       {"closesocket", "WSACleanup"}, kBalanced},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWinsock fake;
    if (c.failing != Call::kCount) fake.fail(c.failing, c.error);
    RawSocketSource source(fake);
    EXPECT_EQ(source.open(NetworkOrigin(c.address)), c.error_text[0] == '\0');
    EXPECT_EQ(source.error(), c.error_text);
    const std::vector<std::string> opened(kOpenCalls.begin(),
                                          kOpenCalls.begin() + static_cast<long>(c.open_calls));
    EXPECT_EQ(fake.calls(), opened);
    source.close();
    source.close();  // twice: nothing more
    source.wake();   // after close: nothing to close
    EXPECT_EQ(fake.calls(), Concat(opened, c.close_calls));
    EXPECT_EQ(fake.tally(), c.tally);
  }
}

TEST(RawSocketSource, BindsTheInterfaceAddressAsked) {
  FakeWinsock fake;
  {
    RawSocketSource source(fake);
    ASSERT_TRUE(source.open(NetworkOrigin(0xC0A80114)));
  }  // the destructor closes
  EXPECT_EQ(fake.calls()[3], "bind 2 192.168.1.20:0");
  EXPECT_EQ(fake.tally(), kBalanced);
}

TEST(RawSocketSource, ARefusedReceiveBufferSizeIsNoError) {
  struct Case {
    int refusals;
    std::vector<std::string> asked;
  } cases[] = {
      {1, {"setsockopt SO_RCVBUF 4194304", "setsockopt SO_RCVBUF 1048576"}},
      {3,
       {"setsockopt SO_RCVBUF 4194304", "setsockopt SO_RCVBUF 1048576",
        "setsockopt SO_RCVBUF 262144"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refusals);
    FakeWinsock fake;
    for (int i = 0; i < c.refusals; ++i) fake.fail(Call::kSetOption, WSAENOBUFS);
    RawSocketSource source(fake);
    EXPECT_TRUE(source.open(NetworkOrigin(kLoopback)));
    const std::vector<std::string> calls = fake.calls();
    const std::vector<std::string> expected =
        Concat(Concat({"WSAStartup 1.1", "socket 2 3 0"}, c.asked),
               {"bind 2 127.0.0.1:0", "ioctlsocket SIO_RCVALL 1"});
    EXPECT_EQ(calls, expected);
  }
}

TEST(RawSocketSource, WhatAReceiveMakesOfEachResult) {
  std::vector<uint8_t> bytes(100);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  const auto first = [&](size_t n) { return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(n)); };
  struct Case {
    const char* name;
    std::vector<uint8_t> delivered;
    int error;  // a recv failing with this instead
    size_t capacity;
    ReceiveStatus status;
    size_t length;
    const char* error_text;
  } cases[] = {
      {"a datagram", first(60), 0, kReceiveBufferSize, ReceiveStatus::kDatagram, 60, ""},
      {"0 bytes", {}, 0, kReceiveBufferSize, ReceiveStatus::kDatagram, 0, ""},
      {"less than a header", first(19), 0, kReceiveBufferSize, ReceiveStatus::kDatagram, 19, ""},
      {"longer than the buffer", bytes, 0, 64, ReceiveStatus::kDatagram, 64, ""},
      {"network down", {}, WSAENETDOWN, kReceiveBufferSize, ReceiveStatus::kFailed, 0,
       "recv: the network is down (10050)"},
      {"unnamed error", {}, WSAECONNRESET, kReceiveBufferSize, ReceiveStatus::kFailed, 0,
       "recv: socket error (10054)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWinsock fake;
    if (c.error != 0) fake.add_recv_error(c.error);
    else fake.add_datagram(c.delivered);
    RawSocketSource source(fake);
    ASSERT_TRUE(source.open(NetworkOrigin(kLoopback)));
    std::vector<uint8_t> buffer(c.capacity, 0xEE);
    size_t length = 0;
    CaptureTime time{};
    EXPECT_EQ(source.receive(buffer.data(), buffer.size(), length, time), c.status);
    if (c.status == ReceiveStatus::kDatagram) {
      ASSERT_EQ(length, c.length);
      EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + static_cast<long>(length)),
                first(c.length));
    }
    EXPECT_EQ(source.error(), c.error_text);
    EXPECT_EQ(fake.calls().back(), "recv " + std::to_string(c.capacity));
    source.close();
    EXPECT_EQ(fake.tally(), kBalanced);
  }
}

// The socket gives no time of arrival: the source reads the clock once per
// datagram, after recv has returned it, also when it was cut; a failed
// receive leaves the time alone.
TEST(RawSocketSource, TheTimeIsReadRightAfterRecvReturns) {
  FakeWinsock fake;
  FakeClock clock(fake);
  fake.add_datagram(test::MakeDatagram({.protocol = 17}));
  fake.add_datagram(std::vector<uint8_t>(100, 0x45));  // cut to 64 bytes
  fake.add_recv_error(WSAENETDOWN);
  RawSocketSource source(fake, clock);
  ASSERT_TRUE(source.open(NetworkOrigin(kLoopback)));
  struct Step {
    ReceiveStatus status;
    CaptureTime time;
    int reads;
  } steps[] = {
      {ReceiveStatus::kDatagram, FakeClock::TimeAfter(1), 1},
      {ReceiveStatus::kDatagram, FakeClock::TimeAfter(2), 2},
      {ReceiveStatus::kFailed, FakeClock::TimeAfter(2), 2},
  };
  uint8_t buffer[64];
  CaptureTime time{};
  for (const Step& step : steps) {
    size_t length = 0;
    EXPECT_EQ(source.receive(buffer, sizeof buffer, length, time), step.status);
    EXPECT_EQ(time, step.time) << time.seconds << "." << time.nanoseconds;
    EXPECT_EQ(clock.reads(), step.reads);
  }
  source.close();
  EXPECT_EQ(fake.tally(), kBalanced);
}

TEST(RawSocketSource, WakeEndsABlockedReceive) {
  FakeWinsock fake;  // nothing scripted: a quiet network
  RawSocketSource source(fake);
  ASSERT_TRUE(source.open(NetworkOrigin(kLoopback)));
  uint8_t buffer[64];
  size_t length = 0;
  CaptureTime time{};
  auto receiving = std::async(std::launch::async, [&] {
    return source.receive(buffer, sizeof buffer, length, time);
  });
  ASSERT_TRUE(fake.wait_for_blocked_recv());
  source.wake();
  EXPECT_EQ(receiving.get(), ReceiveStatus::kWoken);
  source.close();
  EXPECT_EQ(fake.calls(), Concat(kOpenCalls, {"recv 64", "closesocket", "WSACleanup"}));
  EXPECT_EQ(fake.tally(), kBalanced);
}

TEST(RawSocketSource, WakeBeforeOpenEndsTheFirstReceive) {
  FakeWinsock fake;
  fake.add_datagram(test::MakeDatagram({.protocol = 17}));
  fake.add_datagram(test::MakeDatagram({.protocol = 17}));
  RawSocketSource source(fake);
  source.wake();
  ASSERT_TRUE(source.open(NetworkOrigin(kLoopback)));
  uint8_t buffer[64];
  size_t length = 0;
  CaptureTime time{};
  EXPECT_EQ(source.receive(buffer, sizeof buffer, length, time), ReceiveStatus::kWoken);
  EXPECT_EQ(fake.calls(), kOpenCalls);  // without asking the library
  EXPECT_EQ(source.receive(buffer, sizeof buffer, length, time), ReceiveStatus::kDatagram);
  EXPECT_EQ(length, 28u);
  source.close();
  EXPECT_EQ(fake.tally(), kBalanced);
}

TEST(RawSocketSource, CloseReleasesTheLibraryOnlyAfterAWakeHasClosedTheSocket) {
  FakeWinsock fake;
  RawSocketSource source(fake);
  ASSERT_TRUE(source.open(NetworkOrigin(kLoopback)));
  fake.hold_next_close();
  auto waking = std::async(std::launch::async, [&] { source.wake(); });
  ASSERT_TRUE(fake.wait_for_held_close());
  auto closing = std::async(std::launch::async, [&] { source.close(); });
  // Time for a close that does not wait to release the library first.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  fake.release_close();
  waking.get();
  closing.get();
  EXPECT_EQ(fake.calls(), Concat(kOpenCalls, {"closesocket", "WSACleanup"}));
  EXPECT_EQ(fake.tally(), kBalanced);
}

// The source in a real session: the end reason and its text reach the view,
// short receives are skipped, and "stop" ends a blocked receive.

struct SessionRig {
  std::unique_ptr<CaptureStore> store = std::make_unique<CaptureStore>();
  test::RecordingView view;
  FakeWinsock fake;
  FakeClock clock{fake};
  RawSocketSource source{fake, clock};
  CaptureSession session{*store, view, source};

  void start(uint32_t address) {
    StartRequest request;
    request.origin = NetworkOrigin(address);
    request.from_field = "*:*";
    request.to_field = "*:*";
    request.protocols = {true, true, true, true, true};
    ASSERT_EQ(session.start(request, {true, true}), StartOutcome::kStarted);
  }
};

TEST(RawSocketSession, EndsWithTheSourcesReason) {
  const std::vector<uint8_t> a = test::MakeDatagram({.protocol = 17});
  const std::vector<uint8_t> b = test::MakeDatagram({.protocol = 6, .payload_length = 12});
  struct Case {
    const char* name;
    uint32_t address;  // what the interface text named
    bool scripted;  // the datagrams above, then a failing receive
    Call failing;
    int error;
    const char* event;
    std::vector<uint32_t> lengths;
    const char* tally;
  } cases[] = {
      {"a receive fails", kLoopback, true, Call::kCount, 0,
       "ended source-failed recv: the network is down (10050)", {28, 52}, kBalanced},
      {"bind fails", kLoopback, false, Call::kBind, WSAEADDRNOTAVAIL,
       "ended open-failed bind: the address is not an address of this computer (10049)", {},
       kBalanced},
      {"no interface named", kAnyInterface, false, Call::kCount, 0,
       "ended open-failed bind: receive-all mode needs the address of one interface, not "
       "0.0.0.0",
       {}, kUntouched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SessionRig rig;
    if (c.scripted) {
      rig.fake.add_datagram(a);
      rig.fake.add_datagram({});
      rig.fake.add_datagram(std::vector<uint8_t>(b.begin(), b.begin() + 19));
      rig.fake.add_datagram(b);
      rig.fake.add_recv_error(WSAENETDOWN);
    }
    if (c.failing != Call::kCount) rig.fake.fail(c.failing, c.error);
    rig.start(c.address);
    ASSERT_TRUE(rig.view.wait_ended());
    EXPECT_EQ(rig.view.events().back(), c.event);
    ASSERT_EQ(rig.view.row_count(), c.lengths.size());
    for (size_t i = 0; i < c.lengths.size(); ++i) {
      EXPECT_EQ(rig.store->length_table[i], c.lengths[i]);
    }
    EXPECT_EQ(rig.session.stop_flag().load(), 1);
    EXPECT_EQ(rig.fake.tally(), c.tally);
  }
}

// Each stored datagram keeps the time read after its own receive: the short
// datagram between the two, which is not stored, moves the clock on too.
TEST(RawSocketSession, StoresTheTimeReadAfterEachReceive) {
  SessionRig rig;
  rig.fake.add_datagram(test::MakeDatagram({.protocol = 17}));
  rig.fake.add_datagram(std::vector<uint8_t>(19, 0x45));
  rig.fake.add_datagram(test::MakeDatagram({.protocol = 6}));
  rig.fake.add_recv_error(WSAENETDOWN);
  rig.start(kLoopback);
  ASSERT_TRUE(rig.view.wait_ended());
  ASSERT_EQ(rig.view.row_count(), 2u);
  const StoredDatagrams all = StoredDatagramsOf(*rig.store);
  const std::vector<CaptureTime> expected = {FakeClock::TimeAfter(1), FakeClock::TimeAfter(3)};
  EXPECT_EQ(std::vector<CaptureTime>(all.times.begin(), all.times.end()), expected);
}

TEST(RawSocketSession, StopEndsABlockedReceive) {
  SessionRig rig;
  for (int i = 1; i <= 3; ++i) {
    SCOPED_TRACE(i);
    rig.fake.add_datagram(test::MakeDatagram({.protocol = 17}));
    rig.start(kLoopback);
    ASSERT_TRUE(rig.fake.wait_for_blocked_recv());  // after the datagram's row
    rig.session.stop();
    EXPECT_EQ(rig.view.events().back(), "stopped");
    EXPECT_EQ(rig.view.row_count(), 1u);
    const std::string n = std::to_string(i);
    ASSERT_EQ(rig.fake.tally(), "startups " + n + ", cleanups " + n + ", sockets " + n +
                                    ", closed " + n + ", left open 0, misuses 0");
  }
  for (const std::string& event : rig.view.events()) {
    EXPECT_EQ(event.rfind("ended", 0), std::string::npos) << event;
  }
}

}  // namespace
}  // namespace pw
