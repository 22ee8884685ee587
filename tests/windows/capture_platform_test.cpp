// The Windows privilege check and the raw-socket source over the system's
// socket library. The check is carried out everywhere; the socket tests need
// receive-all mode on loopback and report themselves skipped, with the
// system's reason, where it is refused (under Wine always: it has no
// receive-all mode). The source's own logic is tested over a scripted
// library in raw_socket_source_test.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "capture/privilege.h"
#include "capture/raw_socket_source.h"
#include "engine/capture_session.h"
#include "support/fakes.h"
#include "support/recording_view.h"

namespace pw {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;

TEST(PrivilegeWin32, TheCheckIsCarriedOut) {
  const PrivilegeResult r = SystemPrivilegeCheck().check();
  EXPECT_TRUE(r.checked);
  std::printf("administrators membership: %s\n", r.allowed ? "member" : "not a member");
  const PrivilegeResult again = SystemPrivilegeCheck().check();
  EXPECT_EQ(again.checked, r.checked);
  EXPECT_EQ(again.allowed, r.allowed);
}

// The raw socket over the system's socket library on loopback, or the
// reason why this system cannot give one (Wine has no receive-all mode).
std::string LoopbackSocketRefusal() {
  RawSocketSource probe;
  if (probe.open(NetworkOrigin(kLoopback))) return {};
  return probe.error();
}

TEST(RawSocketWin32, WakeBeforeOpenEndsTheFirstReceive) {
  RawSocketSource source;
  source.wake();
  if (!source.open(NetworkOrigin(kLoopback))) {
    const std::string why = source.error();
    source.close();
    GTEST_SKIP() << "no receive-all socket on this system: " << why;
  }
  uint8_t buffer[64];
  size_t length = 0;
  CaptureTime time{};
  EXPECT_EQ(source.receive(buffer, sizeof buffer, length, time), ReceiveStatus::kWoken);
  source.close();
}

TEST(RawSocketWin32, StopEndsASessionWaitingForTraffic) {
  const std::string refusal = LoopbackSocketRefusal();
  if (!refusal.empty()) GTEST_SKIP() << "no receive-all socket on this system: " << refusal;
  auto store = std::make_unique<CaptureStore>();
  test::RecordingView view;
  RawSocketSource source;
  CaptureSession session(*store, view, source);
  for (int i = 0; i < 5; ++i) {
    StartRequest request;
    request.origin = NetworkOrigin(kLoopback);
    request.from_field = "*:*";
    request.to_field = "*:*";
    request.protocols = {true, true, true, true, true};
    ASSERT_EQ(session.start(request, {true, true}), StartOutcome::kStarted);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    session.stop();
    EXPECT_EQ(session.stop_flag().load(), 1);
    EXPECT_EQ(view.events().back(), "stopped");
  }
}

}  // namespace
}  // namespace pw
