#include "shell/tray_animator.h"

#include <windows.h>

#include <system_error>

namespace pw {

TrayAnimator::TrayAnimator(TrayFrames& frames, AnimationPause* pause)
    : frames_(frames), pause_(pause != nullptr ? *pause : own_pause_) {}

void TrayAnimator::start(const std::atomic<int>& stop_flag, bool& anime_enabled) {
  if (ended_) return;
  join_finished();
  auto done = std::make_shared<std::atomic<bool>>(false);
  Worker worker;
  worker.done = done;
  try {
    worker.thread = std::thread([this, &stop_flag, &anime_enabled, done] {
      // Below the UI and the capture thread: the animation may lag, they
      // may not.
      SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
      RunTrayAnimation(stop_flag, anime_enabled, frames_, pause_);
      done->store(true, std::memory_order_release);
    });
  } catch (const std::system_error&) {
    return;  // no thread: the icon simply does not animate
  }
  threads_.push_back(std::move(worker));
}

void TrayAnimator::join_finished() {
  for (auto it = threads_.begin(); it != threads_.end();) {
    if (it->done->load(std::memory_order_acquire)) {
      it->thread.join();
      it = threads_.erase(it);
    } else {
      ++it;
    }
  }
}

void TrayAnimator::end_all() {
  ended_ = true;
  pause_.interrupt();
  for (Worker& worker : threads_) worker.thread.join();
  threads_.clear();
}

}  // namespace pw
