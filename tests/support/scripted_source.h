// ScriptedSource: a PacketSource for tests that plays a script instead of
// the network. Portable (no OS headers), so the same fake serves the
// engine's tests on Linux and the dialog's tests under Wine.
//
// A script is a list of steps, played one per receive:
//   add(bytes)          the receive delivers these bytes (cut to the
//                       capacity the capture thread offers), at the
//                       default time below
//   add(bytes, time)    the same, captured at `time`
//   add_block()         the receive blocks until wake() is called, then
//                       returns kWoken (a quiet network)
//   add_failure(text)   the receive fails; error() returns `text`
// After the last step the source does what set_at_end says: report the end
// (kEnd, like the end of a pcap file), block until woken (a live source
// with no traffic), start the script again (endless traffic), or fail.
// fail_open(text) makes open fail with that error text. set_repeat_pause
// makes each new round of a repeated script wait first, as a network of
// bounded speed does (a wake still returns at once).
//
// The default time of a datagram is kDefaultTimeStart plus one millisecond
// for every datagram delivered before it since the last open, so that
// times rise through a session as a capture's do.
//
//   test::ScriptedSource source;
//   source.add(MakeDatagram({.protocol = 17}));
//   source.add_block();
//   source.set_at_end(test::ScriptedSource::AtEnd::kRepeat);
//
// wake() is one-shot, as the PacketSource contract asks: it makes the
// receive that is blocked, or else the next one, return kWoken. The counters
// (opens, closes, receives, wakes) and the bind address that open received
// may be read from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/packet_source.h"

namespace pw::test {

class ScriptedSource final : public PacketSource {
 public:
  enum class AtEnd { kEnd, kBlock, kRepeat, kFail };

  static constexpr CaptureTime kDefaultTimeStart{1'700'000'000, 0};

  // The default time of the datagram delivered as the `n`th (from 0) since
  // open.
  static constexpr CaptureTime DefaultTime(uint64_t n) {
    return NormalisedTime(kDefaultTimeStart.seconds, n * 1'000'000);
  }

  void add(std::vector<uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    steps_.push_back({Kind::kDatagram, std::move(bytes), {}, std::nullopt});
  }
  void add(std::vector<uint8_t> bytes, CaptureTime time) {
    std::lock_guard lock(mutex_);
    steps_.push_back({Kind::kDatagram, std::move(bytes), {}, time});
  }
  void add_block() {
    std::lock_guard lock(mutex_);
    steps_.push_back({Kind::kBlock, {}, {}, std::nullopt});
  }
  void add_failure(std::string error) {
    std::lock_guard lock(mutex_);
    steps_.push_back({Kind::kFailure, {}, std::move(error), std::nullopt});
  }
  void set_at_end(AtEnd at_end, std::string error = "scripted failure") {
    std::lock_guard lock(mutex_);
    at_end_ = at_end;
    at_end_error_ = std::move(error);
  }
  void set_repeat_pause(std::chrono::milliseconds pause) {
    std::lock_guard lock(mutex_);
    repeat_pause_ = pause;
  }
  void fail_open(std::string error) {
    std::lock_guard lock(mutex_);
    open_error_ = std::move(error);
  }
  // Plays the script from its first step again at the next open.
  void rewind() {
    std::lock_guard lock(mutex_);
    next_ = 0;
  }

  bool open(const CaptureOrigin& origin) override {
    std::lock_guard lock(mutex_);
    origin_ = origin;
    ++opens_;
    next_ = 0;
    delivered_ = 0;
    if (!open_error_.empty()) {
      error_ = open_error_;
      return false;
    }
    return true;
  }

  ReceiveStatus receive(uint8_t* buffer, size_t capacity, size_t& length,
                        CaptureTime& time) override {
    std::unique_lock lock(mutex_);
    ++receives_;
    if (woken_) {
      woken_ = false;
      return ReceiveStatus::kWoken;
    }
    if (next_ >= steps_.size()) {
      switch (at_end_) {
        case AtEnd::kEnd:
          return ReceiveStatus::kEnd;
        case AtEnd::kFail:
          error_ = at_end_error_;
          return ReceiveStatus::kFailed;
        case AtEnd::kRepeat:
          if (!steps_.empty()) next_ = 0;
          if (repeat_pause_.count() > 0 &&
              woken_cv_.wait_for(lock, repeat_pause_, [this] { return woken_; })) {
            woken_ = false;
            return ReceiveStatus::kWoken;
          }
          break;
        case AtEnd::kBlock:
          break;
      }
    }
    if (next_ >= steps_.size() || steps_[next_].kind == Kind::kBlock) {
      if (next_ < steps_.size()) ++next_;
      ++blocked_;
      woken_cv_.wait(lock, [this] { return woken_; });
      --blocked_;
      woken_ = false;
      return ReceiveStatus::kWoken;
    }
    const Step& step = steps_[next_++];
    if (step.kind == Kind::kFailure) {
      error_ = step.error;
      return ReceiveStatus::kFailed;
    }
    length = step.bytes.size() < capacity ? step.bytes.size() : capacity;
    if (length > 0) std::memcpy(buffer, step.bytes.data(), length);
    const CaptureTime default_time = DefaultTime(delivered_++);
    time = step.time.value_or(default_time);
    return ReceiveStatus::kDatagram;
  }

  void wake() override {
    {
      std::lock_guard lock(mutex_);
      woken_ = true;
      ++wakes_;
    }
    woken_cv_.notify_all();
  }

  void close() override {
    std::lock_guard lock(mutex_);
    ++closes_;
  }

  const std::string& error() const override { return error_; }

  // True while a receive waits for wake().
  bool blocked() const {
    std::lock_guard lock(mutex_);
    return blocked_ > 0;
  }
  int opens() const { std::lock_guard lock(mutex_); return opens_; }
  int closes() const { std::lock_guard lock(mutex_); return closes_; }
  int receives() const { std::lock_guard lock(mutex_); return receives_; }
  int wakes() const { std::lock_guard lock(mutex_); return wakes_; }
  // The origin of the last open.
  CaptureOrigin origin() const { std::lock_guard lock(mutex_); return origin_; }

 private:
  enum class Kind { kDatagram, kBlock, kFailure };
  struct Step {
    Kind kind;
    std::vector<uint8_t> bytes;
    std::string error;
    std::optional<CaptureTime> time;  // none: the default time
  };

  mutable std::mutex mutex_;
  std::condition_variable woken_cv_;
  std::vector<Step> steps_;
  size_t next_ = 0;
  uint64_t delivered_ = 0;  // datagrams delivered since open
  AtEnd at_end_ = AtEnd::kEnd;
  std::chrono::milliseconds repeat_pause_{0};
  std::string at_end_error_;
  std::string open_error_;
  std::string error_;  // written and read on the capture thread only
  bool woken_ = false;
  int blocked_ = 0;
  int opens_ = 0;
  int closes_ = 0;
  int receives_ = 0;
  int wakes_ = 0;
  CaptureOrigin origin_;
};

}  // namespace pw::test
