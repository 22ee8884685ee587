// The Windows privilege check and raw-socket source, as far as they can run
// under Wine (which has no receive-all mode): the check is carried out, and
// a session over the raw socket starts, reports a failed set-up clearly or
// waits for traffic, and stops promptly in either case.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "capture/capture_session.h"
#include "capture/privilege.h"
#include "capture/raw_socket_source.h"
#include "recording_view.h"

namespace pw {
namespace {

TEST(PrivilegeWin32, TheCheckIsCarriedOut) {
  const PrivilegeResult r = SystemPrivilegeCheck().check();
  EXPECT_TRUE(r.checked);
  std::printf("administrators membership: %s\n", r.allowed ? "member" : "not a member");
  const PrivilegeResult again = SystemPrivilegeCheck().check();
  EXPECT_EQ(again.checked, r.checked);
  EXPECT_EQ(again.allowed, r.allowed);
}

TEST(RawSocketWin32, WakeMakesTheNextReceiveReturn) {
  RawSocketSource source;
  source.wake();  // before open: the first receive returns kWoken
  if (!source.open(0x7F000001)) {
    EXPECT_FALSE(source.error().empty());
    std::printf("raw socket set-up failed as expected here: %s\n", source.error().c_str());
  } else {
    uint8_t buffer[64];
    size_t length = 0;
    EXPECT_EQ(source.receive(buffer, sizeof buffer, length), ReceiveStatus::kWoken);
  }
  source.close();
  source.close();  // twice is harmless
  source.wake();   // after close too
}

class AllowAll final : public PrivilegeCheck {
 public:
  PrivilegeResult check() override { return {true, true}; }
};

TEST(RawSocketWin32, SessionStopsPromptlyWhateverTheSetUpDid) {
  auto store = std::make_unique<CaptureStore>();
  test::RecordingView view;
  RawSocketSource source;
  AllowAll allow;
  CaptureSession session(*store, view, source, allow);
  for (int i = 0; i < 5; ++i) {
    StartRequest request;
    request.interface_text = "127.0.0.1";
    request.from_field = "*:*";
    request.to_field = "*:*";
    request.protocols = {true, true, true, true, true};
    ASSERT_EQ(session.start(request), StartOutcome::kStarted);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto begin = std::chrono::steady_clock::now();
    session.stop();
    const double ms = std::chrono::duration<double, std::milli>(
                          std::chrono::steady_clock::now() - begin).count();
    EXPECT_EQ(session.stop_flag().load(), 1);
    EXPECT_EQ(view.events().back(), "stopped");
    std::printf("session %d: %s; stop took %.1f ms\n", i, view.events().end()[-2].c_str(), ms);
  }
}

}  // namespace
}  // namespace pw
