// The animation of the notification icon while a capture runs: a thread of
// its own cycles the icon through four frames, 350 ms before each, and
// rests on the first frame when the capture stops or the option is switched
// off. The thread only sleeps and changes the icon; the front end gives it
// the frames (the notification icon) and the pause (a sleep that ends early
// when the program closes).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace pw {

inline constexpr int kAnimationFrames = 4;
inline constexpr std::chrono::milliseconds kFrameInterval{350};

// The pictures of the notification icon. Called on the animation thread.
class TrayFrames {
 public:
  // Shows frame `frame` (0 to kAnimationFrames - 1; frame 0 is also the
  // picture at rest), with the tray tip text when `with_tip`.
  virtual void show_frame(int frame, bool with_tip) = 0;
  // The last update of an animation: frame 0 with the tray tip text, and
  // any balloon that is showing removed.
  virtual void end_animation() = 0;

 protected:
  ~TrayFrames() = default;
};

// The animation's sleep.
class AnimationPause {
 public:
  // Sleeps `duration`; false when interrupted, now or earlier.
  virtual bool pause(std::chrono::milliseconds duration) = 0;
  // Ends every pause at once, the running ones and all later ones. Any
  // thread.
  virtual void interrupt() = 0;

 protected:
  ~AnimationPause() = default;
};

// A pause on a condition variable, so that interrupt() wakes a sleeping
// animation thread at once.
class InterruptiblePause final : public AnimationPause {
 public:
  bool pause(std::chrono::milliseconds duration) override;
  void interrupt() override;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool interrupted_ = false;
};

// The animation thread's work. While `stop_flag` is 0 (a capture runs) and
// `anime_enabled` is set, runs whole cycles (pause, frame 0 with the tip,
// pause, frame 1, pause, frame 2, pause, frame 3). The stop flag is read
// before the first cycle and after each cycle, `anime_enabled` before each
// cycle; both are written by other threads (`anime_enabled` through
// std::atomic_ref). Ends with end_animation(), so that the icon rests on
// frame 0 at most one cycle after the capture stopped. An interrupted
// pause returns at once, without another icon update: the program is
// closing and its icon is gone.
void RunTrayAnimation(const std::atomic<int>& stop_flag, bool& anime_enabled,
                      TrayFrames& frames, AnimationPause& pause);

}  // namespace pw
