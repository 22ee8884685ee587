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

// What a successful open on 127.0.0.1 asks of the library, in order, on a
// system without IPv6 (the fake's default): the IPv6 socket is refused with
// WSAEAFNOSUPPORT, and the source captures IPv4 alone.
const std::vector<std::string> kOpenCalls = {
    "WSAStartup 1.1", "socket 2 3 0", "setsockopt SO_RCVBUF 4194304",
    "bind 2 127.0.0.1:0", "ioctlsocket SIO_RCVALL 1", "socket 23 3 0"};
// The IPv6 socket's steps on ::1 after them, where the system has IPv6.
const std::vector<std::string> kOpen6Calls = {
    "socket 23 3 0", "setsockopt SO_RCVBUF 4194304", "bind 23 [::1]:0",
    "ioctlsocket SIO_RCVALL 1"};
constexpr char kBalanced2[] =
    "startups 1, cleanups 1, sockets 2, closed 2, left open 0, misuses 0";

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
      {"all steps succeed", kLoopback, Call::kCount, 0, "", 6, {"closesocket", "WSACleanup"},
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
  EXPECT_EQ(fake.calls()[5], "GetAdaptersAddresses");  // no adapter listed: IPv4 alone
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
               {"bind 2 127.0.0.1:0", "ioctlsocket SIO_RCVALL 1", "socket 23 3 0"});
    EXPECT_EQ(calls, expected);
  }
}

// The IPv6 socket: the partner address each adapter list gives, or IPv4
// alone; each of its steps that fails fails the open, says which, and
// leaves no socket open.
TEST(RawSocketSource, TheIpv6SocketOnTheSameAdapter) {
  using Adapter = FakeWinsock::Adapter;
  const Adapter lan{{0xC0A80114}, {{"fe80::1", 0}, {"2001:db8::14", 0}}, 7};
  struct Case {
    const char* name;
    uint32_t address;
    std::vector<Adapter> adapters;
    bool list_missing;
    Call failing;  // the IPv6 socket's step that fails
    int error;
    std::vector<std::string> calls;  // after the IPv4 socket's
    const char* error_text;
    const char* tally;
  } cases[] = {
      {"loopback goes with ::1", kLoopback, {}, false, Call::kCount, 0, kOpen6Calls, "",
       kBalanced2},
      {"a global address first", 0xC0A80114,
       {Adapter{{0x0A000001}, {{"2001:db8::99", 0}}, 3}, lan}, false, Call::kCount, 0,
       {"GetAdaptersAddresses", "socket 23 3 0", "setsockopt SO_RCVBUF 4194304",
        "bind 23 [2001:db8::14]:0", "ioctlsocket SIO_RCVALL 1"},
       "", kBalanced2},
      {"link-local with the adapter's scope id", 0xC0A80114,
       {Adapter{{0xC0A80114}, {{"fe80::2", 0}}, 9}}, false, Call::kCount, 0,
       {"GetAdaptersAddresses", "socket 23 3 0", "setsockopt SO_RCVBUF 4194304",
        "bind 23 [fe80::2%9]:0", "ioctlsocket SIO_RCVALL 1"},
       "", kBalanced2},
      {"link-local with its own scope id", 0xC0A80114,
       {Adapter{{0xC0A80114}, {{"fe80::3", 12}}, 9}}, false, Call::kCount, 0,
       {"GetAdaptersAddresses", "socket 23 3 0", "setsockopt SO_RCVBUF 4194304",
        "bind 23 [fe80::3%12]:0", "ioctlsocket SIO_RCVALL 1"},
       "", kBalanced2},
      {"adapter without IPv6", 0xC0A80114, {Adapter{{0xC0A80114}, {}, 0}}, false, Call::kCount,
       0, {"GetAdaptersAddresses"}, "", kBalanced},
      {"adapter list missing", 0xC0A80114, {lan}, true, Call::kCount, 0,
       {"GetAdaptersAddresses"}, "", kBalanced},
      {"adapter list fails", 0xC0A80114, {lan}, false, Call::kAdapters, ERROR_NOT_ENOUGH_MEMORY,
       {"GetAdaptersAddresses"}, "", kBalanced},
      {"IPv6 socket refused", kLoopback, {}, false, Call::kSocket, WSAEACCES,
       {"socket 23 3 0"}, "socket (IPv6): access denied (administrators rights required) (10013)",
       kBalanced},
      {"IPv6 bind fails", kLoopback, {}, false, Call::kBind, WSAEADDRNOTAVAIL,
       {"socket 23 3 0", "setsockopt SO_RCVBUF 4194304", "bind 23 [::1]:0"},
       "bind (IPv6): the address is not an address of this computer (10049)", kBalanced2},
      {"IPv6 receive-all fails", kLoopback, {}, false, Call::kIoctl, WSAEINVAL, kOpen6Calls,
       "receive-all mode (IPv6): invalid argument (10022)", kBalanced2},
      {"IPv6 bind without the family", kLoopback, {}, false, Call::kBind, WSAEAFNOSUPPORT,
       {"socket 23 3 0", "setsockopt SO_RCVBUF 4194304", "bind 23 [::1]:0"},
       "bind (IPv6): IPv6 is not available (10047)", kBalanced2},
  };
  const std::vector<std::string> v4(kOpenCalls.begin(), kOpenCalls.end() - 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWinsock fake;
    fake.enable_ipv6();
    for (const Adapter& a : c.adapters) fake.add_adapter(a);
    if (c.list_missing) fake.lose_adapter_list();
    if (c.failing == Call::kAdapters) fake.fail(c.failing, c.error);
    if (c.failing != Call::kCount && c.failing != Call::kAdapters) {
      fake.fail(c.failing, 0);  // the IPv4 socket's step succeeds
      fake.fail(c.failing, c.error);
    }
    RawSocketSource source(fake);
    EXPECT_EQ(source.open(NetworkOrigin(c.address)), c.error_text[0] == '\0');
    EXPECT_EQ(source.error(), c.error_text);
    const std::vector<std::string> calls = fake.calls();
    ASSERT_GE(calls.size(), v4.size());
    EXPECT_EQ(std::vector<std::string>(calls.begin() + static_cast<long>(v4.size()), calls.end()),
              c.calls);
    source.close();
    EXPECT_EQ(fake.tally(), c.tally);
  }
}

// With both sockets, one receive after another takes what either has, the
// IPv4 one first when both have something; what the IPv6 socket delivers
// that is no IPv6 datagram is passed over; a failing receive or select on
// either ends it with its reason.
TEST(RawSocketSource, ReceivesFromBothSockets) {
  std::vector<uint8_t> v6(48, 0);
  v6[0] = 0x60;
  const std::vector<uint8_t> v4 = test::MakeDatagram({.protocol = 17});
  struct Case {
    const char* name;
    std::vector<std::vector<uint8_t>> on4, on6;
    int error4, error6, select_error;
    std::vector<size_t> lengths;  // then a failure
    const char* error_text;
  } cases[] = {
      {"IPv6 alone", {}, {v6, v6}, 0, WSAENETDOWN, 0, {48, 48},
       "recv (IPv6): the network is down (10050)"},
      {"both", {v4}, {v6}, WSAENETDOWN, 0, 0, {28, 48}, "recv: the network is down (10050)"},
      {"no version 6", {}, {std::vector<uint8_t>(48, 0x45), {}, v6}, 0, WSAECONNRESET, 0, {48},
       "recv (IPv6): socket error (10054)"},
      {"select fails", {}, {}, 0, 0, WSAENETDOWN, {}, "select: the network is down (10050)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWinsock fake;
    fake.enable_ipv6();
    for (const auto& d : c.on4) fake.add_datagram(d);
    for (const auto& d : c.on6) fake.add_datagram6(d);
    if (c.error4 != 0) fake.add_recv_error(c.error4);
    if (c.error6 != 0) fake.add_recv_error6(c.error6);
    if (c.select_error != 0) fake.fail(Call::kSelect, c.select_error);
    RawSocketSource source(fake);
    ASSERT_TRUE(source.open(NetworkOrigin(kLoopback)));
    uint8_t buffer[128];
    for (const size_t expected : c.lengths) {
      size_t length = 0;
      CaptureTime time{};
      ASSERT_EQ(source.receive(buffer, sizeof buffer, length, time), ReceiveStatus::kDatagram);
      EXPECT_EQ(length, expected);
    }
    size_t length = 0;
    CaptureTime time{};
    EXPECT_EQ(source.receive(buffer, sizeof buffer, length, time), ReceiveStatus::kFailed);
    EXPECT_EQ(source.error(), c.error_text);
    source.close();
    EXPECT_EQ(fake.tally(), kBalanced2);
  }
}

TEST(RawSocketSource, WakeEndsAReceiveWaitingOnBothSockets) {
  FakeWinsock fake;
  fake.enable_ipv6();
  RawSocketSource source(fake);
  ASSERT_TRUE(source.open(NetworkOrigin(kLoopback)));
  uint8_t buffer[64];
  size_t length = 0;
  CaptureTime time{};
  auto receiving = std::async(std::launch::async, [&] {
    return source.receive(buffer, sizeof buffer, length, time);
  });
  ASSERT_TRUE(fake.wait_for_blocked_recv());  // in select
  source.wake();
  EXPECT_EQ(receiving.get(), ReceiveStatus::kWoken);
  source.close();
  EXPECT_EQ(fake.calls(), Concat(Concat(std::vector<std::string>(kOpenCalls.begin(),
                                                                 kOpenCalls.end() - 1),
                                        kOpen6Calls),
                                 {"select 2", "closesocket", "closesocket", "WSACleanup"}));
  EXPECT_EQ(fake.tally(), kBalanced2);
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

// IPv6 and IPv4 datagrams of one session, and "stop" while the thread
// waits on both sockets.
TEST(RawSocketSession, StoresBothFamiliesAndStopEndsTheWait) {
  SessionRig rig;
  rig.fake.enable_ipv6();
  std::vector<uint8_t> v6(48, 0);
  v6[0] = 0x60;
  v6[5] = 8;
  v6[6] = 17;
  v6[7] = 64;
  v6[23] = 1;  // ::1 to ::1
  v6[39] = 1;
  rig.fake.add_datagram6(v6);
  rig.fake.add_datagram(test::MakeDatagram({.protocol = 17}));
  rig.start(kLoopback);
  ASSERT_TRUE(rig.fake.wait_for_blocked_recv());  // in select, after both rows
  rig.session.stop();
  EXPECT_EQ(rig.view.events().back(), "stopped");
  EXPECT_EQ(rig.view.rows(), (std::vector<std::string>{
                                 "\t0\tudp\t10.0.0.1\t0\t10.0.0.2\t0\t28\t64",
                                 "\t1\tudp\t::1\t0\t::1\t0\t48\t64"}));
  EXPECT_EQ(rig.fake.tally(), kBalanced2);
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
