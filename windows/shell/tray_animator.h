// Starts the animation threads of the notification icon and ends them when
// the main dialog closes. Each start makes one more thread at the lowest
// priority, which runs RunTrayAnimation and ends by itself; none is ever
// forcibly ended. Closing interrupts their pauses, so that a sleeping thread
// ends at once and delays nothing, and then joins them. UI thread only.
#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <thread>

#include "ui/tray_animation.h"

namespace pw {

class TrayAnimator {
 public:
  // `pause`: null for the animator's own interruptible pause.
  TrayAnimator(TrayFrames& frames, AnimationPause* pause);
  ~TrayAnimator() { end_all(); }
  TrayAnimator(const TrayAnimator&) = delete;
  TrayAnimator& operator=(const TrayAnimator&) = delete;

  // Starts one animation thread over these flags (see RunTrayAnimation),
  // which must outlive it: until end_all() returns. Threads that have ended
  // are joined here. Nothing starts after end_all().
  void start(const std::atomic<int>& stop_flag, bool& anime_enabled);

  // Interrupts every pause and joins every thread. The threads make no
  // icon update after an interrupted pause.
  void end_all();

  // Threads started and not yet joined (for tests).
  size_t threads() const { return threads_.size(); }

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  void join_finished();

  TrayFrames& frames_;
  InterruptiblePause own_pause_;
  AnimationPause& pause_;
  std::list<Worker> threads_;
  bool ended_ = false;
};

}  // namespace pw
