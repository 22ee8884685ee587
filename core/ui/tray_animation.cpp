#include "ui/tray_animation.h"

namespace pw {

bool InterruptiblePause::pause(std::chrono::milliseconds duration) {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait_for(lock, duration, [this] { return interrupted_; });
  return !interrupted_;
}

void InterruptiblePause::interrupt() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    interrupted_ = true;
  }
  wake_.notify_all();
}

void RunTrayAnimation(const std::atomic<int>& stop_flag, bool& anime_enabled,
                      TrayFrames& frames, AnimationPause& pause) {
  const std::atomic_ref<bool> enabled(anime_enabled);
  if (stop_flag.load(std::memory_order_acquire) == 0) {
    while (enabled.load(std::memory_order_acquire)) {
      for (int frame = 0; frame < kAnimationFrames; ++frame) {
        if (!pause.pause(kFrameInterval)) return;
        frames.show_frame(frame, frame == 0);
      }
      if (stop_flag.load(std::memory_order_acquire) != 0) break;
    }
  }
  frames.end_animation();
}

}  // namespace pw
