// RecordingView: a CaptureView for tests that records the rows and the
// calls it receives, in order, as short event texts:
//   "clear", "fields <from>|<to>", "refused <row>", "starting", "started",
//   "ended <reason> <detail>", "stopped".
// Rows are recorded separately (rows()). Portable; any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "engine/capture_view.h"

namespace pw::test {

inline const char* EndName(CaptureEnd why) {
  switch (why) {
    case CaptureEnd::kLimitReached: return "limit";
    case CaptureEnd::kPoolFull: return "pool-full";
    case CaptureEnd::kSourceEnded: return "source-ended";
    case CaptureEnd::kOpenFailed: return "open-failed";
    case CaptureEnd::kSourceFailed: return "source-failed";
    case CaptureEnd::kWriteFailed: return "write-failed";
  }
  return "?";
}

class RecordingView : public CaptureView {
 public:
  void add_row(std::string_view row) override {
    std::lock_guard lock(mutex_);
    rows_.emplace_back(row);
  }
  void clear_rows() override {
    std::lock_guard lock(mutex_);
    rows_.clear();
    events_.emplace_back("clear");
  }
  void start_refused(StartRefusal why) override {
    record(why == StartRefusal::kNotAllowed ? "refused not-allowed" : "refused check-failed");
  }
  void start_failed(std::string_view detail) override {
    record("start-failed " + std::string(detail));
  }
  void capture_starting() override { record("starting"); }
  void capture_started() override { record("started"); }
  void capture_ended(CaptureEnd why, std::string_view detail) override {
    {
      std::lock_guard lock(mutex_);
      std::string event = "ended ";
      event += EndName(why);
      if (!detail.empty()) {
        event += ' ';
        event += detail;
      }
      events_.push_back(event);
      ++ended_;
    }
    ended_cv_.notify_all();
  }
  void capture_stopped() override { record("stopped"); }

  std::vector<std::string> rows() const {
    std::lock_guard lock(mutex_);
    return rows_;
  }
  size_t row_count() const {
    std::lock_guard lock(mutex_);
    return rows_.size();
  }
  std::vector<std::string> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  void clear_events() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }
  // Waits (at most `limit`) until capture_ended has been called `n` times
  // in all; returns whether it was.
  bool wait_ended(int n = 1,
                  std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    std::unique_lock lock(mutex_);
    return ended_cv_.wait_for(lock, limit, [&] { return ended_ >= n; });
  }

 protected:
  void record(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }

  mutable std::mutex mutex_;

 private:
  std::condition_variable ended_cv_;
  std::vector<std::string> rows_;
  std::vector<std::string> events_;
  int ended_ = 0;
};

}  // namespace pw::test
