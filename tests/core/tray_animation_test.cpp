#include "ui/tray_animation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace pw {
namespace {

// Records the icon updates as "f0+tip", "f1", ..., "end".
class RecordingFrames final : public TrayFrames {
 public:
  void show_frame(int frame, bool with_tip) override {
    std::string update = "f";
    update += std::to_string(frame);
    if (with_tip) update += "+tip";
    updates.push_back(update);
  }
  void end_animation() override { updates.push_back("end"); }
  std::vector<std::string> updates;
};

// Sleeps no time; before pause number `at` (counted from 1) it runs
// `action`, which stands for what another thread does meanwhile; from pause
// `interrupt_at` on it reports an interruption.
class ScriptedPause final : public AnimationPause {
 public:
  int at = 0;
  std::function<void()> action;
  int interrupt_at = 0;
  int pauses = 0;
  std::vector<std::chrono::milliseconds> durations;

  bool pause(std::chrono::milliseconds duration) override {
    ++pauses;
    durations.push_back(duration);
    if (pauses == at && action) action();
    return interrupt_at == 0 || pauses < interrupt_at;
  }
  void interrupt() override {}
};

const std::vector<std::string> kCycle = {"f0+tip", "f1", "f2", "f3"};

std::vector<std::string> Cycles(int n, bool end = true) {
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.insert(out.end(), kCycle.begin(), kCycle.end());
  if (end) out.push_back("end");
  return out;
}

TEST(TrayAnimation, CyclesWhileCapturingAndRestsWithinOneCycleAfterTheStop) {
  struct Case {
    const char* name;
    int stop_flag;     // at the thread's start
    bool anime;        // at the thread's start
    int change_at;     // the pause before which the change happens; 0: none
    bool stop_change;  // the change sets the stop flag, else clears the option
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"no capture runs", 1, true, 0, true, {"end"}},
      {"option off at go!", 0, false, 0, true, {"end"}},
      {"stop during the first cycle", 0, true, 2, true, Cycles(1)},
      {"stop during the last pause of a cycle", 0, true, 4, true, Cycles(1)},
      {"stop at the first pause of the third cycle", 0, true, 9, true, Cycles(3)},
      {"option off during the second cycle", 0, true, 6, false, Cycles(2)},
  };
  for (const Case& c : cases) {
    std::atomic<int> stop_flag{c.stop_flag};
    bool anime = c.anime;
    RecordingFrames frames;
    ScriptedPause pause;
    pause.at = c.change_at;
    pause.action = [&] {
      if (c.stop_change) {
        stop_flag = 1;
      } else {
        anime = false;
      }
    };
    RunTrayAnimation(stop_flag, anime, frames, pause);
    EXPECT_EQ(frames.updates, c.expected) << c.name;
    for (const auto d : pause.durations) EXPECT_EQ(d, std::chrono::milliseconds(350)) << c.name;
    EXPECT_EQ(pause.pauses, static_cast<int>(c.expected.size()) - 1) << c.name;
  }
}

TEST(TrayAnimation, AnInterruptedPauseEndsWithoutAnotherUpdate) {
  std::atomic<int> stop_flag{0};
  bool anime = true;
  RecordingFrames frames;
  ScriptedPause pause;
  pause.interrupt_at = 3;
  RunTrayAnimation(stop_flag, anime, frames, pause);
  EXPECT_EQ(frames.updates, (std::vector<std::string>{"f0+tip", "f1"}));
}

TEST(InterruptiblePause, InterruptWakesASleeperAndEndsEveryLaterPause) {
  InterruptiblePause pause;
  EXPECT_TRUE(pause.pause(std::chrono::milliseconds(1)));
  auto sleeper = std::async(std::launch::async,
                            [&] { return pause.pause(std::chrono::minutes(10)); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  pause.interrupt();
  // A hang check: the ten-minute pause must end at once.
  ASSERT_EQ(sleeper.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_FALSE(sleeper.get());
  EXPECT_FALSE(pause.pause(std::chrono::minutes(10)));
}

}  // namespace
}  // namespace pw
