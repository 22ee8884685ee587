#include "engine/capture_session.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace pw {

namespace {

// How many accepted datagrams end a session.
uint64_t EffectiveLimit(uint32_t asked, bool streaming) {
  if (streaming) return asked == 0 ? UINT64_MAX : asked;
  return asked == 0 || asked > kPacketLimit ? kPacketLimit : asked;
}

// Ends that still lost nothing: a stream that cannot be written out then
// ends the session with its failure instead.
bool IsCleanEnd(CaptureEnd why) {
  return why == CaptureEnd::kLimitReached || why == CaptureEnd::kPoolFull ||
         why == CaptureEnd::kSourceEnded;
}

}  // namespace

// The capture thread and what it owns. Allocated once with the session, so
// that a session allocates nothing per datagram and nothing per start beyond
// the thread itself.
struct CaptureSession::Impl {
  std::thread thread;
  // True while no capture thread runs; set by the thread as its last step.
  std::atomic<bool> finished{true};
  // Set by start once the view has been told that the capture started; the
  // thread waits for it. A condition variable rather than std::atomic::wait,
  // which can miss its notify under the MinGW runtime.
  std::mutex release_mutex;
  std::condition_variable release_signal;
  bool released = false;
  uint64_t packet_limit = kPacketLimit;
  CaptureStream* stream = nullptr;
  std::string end_detail;
  RowMiddleCache row_cache;
  uint8_t buffer[kReceiveBufferSize];

  void set_released(bool value) {
    {
      std::lock_guard<std::mutex> lock(release_mutex);
      released = value;
    }
    if (value) release_signal.notify_one();
  }

  void wait_for_release() {
    std::unique_lock<std::mutex> lock(release_mutex);
    release_signal.wait(lock, [this] { return released; });
  }
};

// How the receive loop ended: by itself (the limit, a full pool, the end or
// failure of the source), or because the stop flag was set.
struct CaptureSession::Ending {
  bool by_itself;
  CaptureEnd why;
};

CaptureSession::CaptureSession(CaptureStore& store, CaptureView& view, PacketSource& source)
    // Not value-initialised: the receive buffer is written before it is
    // read, and a start touches none of its pages in vain.
    : store_(store), view_(view), source_(source), impl_(new Impl) {
  ClearFilterSettings(filter_);
}

CaptureSession::~CaptureSession() { end_at_exit(); }

StartOutcome CaptureSession::start(const StartRequest& request, PrivilegeResult rights) {
  if (impl_->thread.joinable()) end_capture_thread();

  // The session counts as running from here on.
  stop_flag_.store(0, std::memory_order_release);
  ResetCaptureStore(store_);
  view_.clear_rows();

  origin_ = request.origin;
  filter_ = BuildFilterSettings(request.from_field, request.to_field, request.both_traffic,
                                request.protocols);

  // A refusal starts nothing and leaves the stop flag at 0, so no further
  // session can start.
  if (!rights.checked) {
    view_.start_refused(StartRefusal::kCheckFailed);
    return StartOutcome::kRefusedCheckFailed;
  }
  if (!rights.allowed) {
    view_.start_refused(StartRefusal::kNotAllowed);
    return StartOutcome::kRefusedNotAllowed;
  }
  // The stream's file is opened before anything is captured, so that one
  // that cannot be written is told at once.
  impl_->stream = request.stream;
  if (request.stream != nullptr && !request.stream->begin()) {
    stop_flag_.store(1, std::memory_order_release);
    view_.start_failed(request.stream->error());
    return StartOutcome::kStreamFailed;
  }
  view_.capture_starting();
  return start_capture_thread(EffectiveLimit(request.packet_limit, request.stream != nullptr));
}

StartOutcome CaptureSession::start_capture_thread(uint64_t packet_limit) {
  impl_->packet_limit = packet_limit;
  impl_->end_detail.clear();
  impl_->set_released(false);
  impl_->finished.store(false, std::memory_order_relaxed);
  try {
    impl_->thread = std::thread([this] { run_capture_thread(); });
  } catch (const std::system_error& error) {
    if (impl_->stream != nullptr) impl_->stream->end();
    stop_flag_.store(1, std::memory_order_release);
    impl_->finished.store(true, std::memory_order_release);
    view_.start_failed(std::string("cannot start the capture thread: ") + error.what());
    return StartOutcome::kThreadFailed;
  }
  view_.capture_started();
  // The thread waits for this, so that the view hears "started" before it
  // can hear "ended".
  impl_->set_released(true);
  return StartOutcome::kStarted;
}

void CaptureSession::run_capture_thread() {
  impl_->wait_for_release();
  store_.pool_fill.store(0, std::memory_order_release);
  Ending ending{true, CaptureEnd::kOpenFailed};
  CaptureStream* stream = impl_->stream;
  if (!source_.open(origin_)) {
    impl_->end_detail = source_.error();
  } else {
    view_.source_opened();
    ending = receive_until_end();
  }
  if (stream != nullptr && !stream->end() && IsCleanEnd(ending.why)) {
    ending.why = CaptureEnd::kWriteFailed;
    impl_->end_detail = stream->error();
  }
  // The limit stop and its kin: the stop flag goes to 1 and the source is
  // closed before the view hears of it. When the flag was 1 already, "stop"
  // or exit asked for the end (a woken source may report that as a failed
  // or ended receive): the UI thread is then waiting to join, and it tells
  // the view itself.
  const int was = ending.by_itself ? stop_flag_.exchange(1, std::memory_order_acq_rel) : 1;
  source_.close();
  if (was == 0) view_.capture_ended(ending.why, impl_->end_detail);
  impl_->finished.store(true, std::memory_order_release);
}

CaptureSession::Ending CaptureSession::receive_until_end() {
  Impl& s = *impl_;
  uint32_t stored = 0;    // datagrams in the store
  uint64_t accepted = 0;  // datagrams that passed the filter: the next row's number
  bool storing = true;
  while (stop_flag_.load(std::memory_order_acquire) == 0) {
    size_t length = 0;
    CaptureTime time{};
    const ReceiveStatus status = source_.receive(s.buffer, sizeof s.buffer, length, time);
    if (status == ReceiveStatus::kWoken) continue;
    // A failing source is not retried: it would fail again at once, and the
    // loop would spin. The session ends as at the packet limit.
    if (status == ReceiveStatus::kEnd) return {true, CaptureEnd::kSourceEnded};
    if (status == ReceiveStatus::kFailed) {
      s.end_detail = source_.error();
      return {true, CaptureEnd::kSourceFailed};
    }
    if (length < kIpv4HeaderMin) continue;
    if (length > sizeof s.buffer) length = sizeof s.buffer;
    RowText row;
    uint8_t protocol = 0;
    if (!FilterAndDescribe(s.buffer, length, accepted, filter_, row, protocol, &s.row_cache)) {
      continue;
    }
    const auto bytes = static_cast<uint32_t>(length);
    if (storing) {
      const AppendOutcome stored_it =
          AppendDatagram(store_, stored, s.buffer, bytes, protocol, time, row.view(), view_,
                         sizeof row.text);
      if (stored_it != AppendOutcome::kStored) {
        // Without a stream the store's limits end the session; with one
        // they end only the storing.
        if (s.stream == nullptr) {
          return {true, stored_it == AppendOutcome::kPoolFull ? CaptureEnd::kPoolFull
                                                              : CaptureEnd::kLimitReached};
        }
        storing = false;
      }
    }
    if (!storing) view_.add_unstored_row(row.view(), time);
    if (s.stream != nullptr && !s.stream->append(s.buffer, bytes, bytes, time)) {
      s.end_detail = s.stream->error();
      return {true, CaptureEnd::kWriteFailed};
    }
    if (++accepted >= s.packet_limit) return {true, CaptureEnd::kLimitReached};
  }
  return {false, CaptureEnd::kSourceEnded};
}

// Ends the capture thread cooperatively: stop flag, wake, wait, join. The
// wait goes through the view, so that a view whose add_row waits for the
// stopping thread can serve it meanwhile.
// A thread that ended by itself set the stop flag to 1 before it closed the
// source and receives no more: it is not woken, so that no wake-up is left
// over for the next session.
void CaptureSession::end_capture_thread() {
  const int was = stop_flag_.exchange(1, std::memory_order_acq_rel);
  if (!impl_->thread.joinable()) return;
  if (!impl_->finished.load(std::memory_order_acquire)) {
    if (was == 0) source_.wake();
    view_.wait_for_capture_thread(impl_->finished);
  }
  impl_->thread.join();
}

void CaptureSession::stop() {
  end_capture_thread();
  view_.capture_stopped();
}

void CaptureSession::end_at_exit() {
  // Without forced termination the thread can only be ended by the stop
  // flag; the controls are left as they are.
  if (impl_->thread.joinable()) end_capture_thread();
}

}  // namespace pw
