#include "capture/capture_session.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace pw {

namespace {

constexpr std::string_view kRowNotAllowed = " administrators rights required!";
constexpr std::string_view kRowCheckFailed =
    " internal error: administrators rights required!";

// What the socket library's address conversion gives for a text that is not
// an address; binding to it fails, which the session then reports.
constexpr uint32_t kAddressNone = 0xFFFFFFFFu;

// Dotted decimal ("a.b.c.d", each 0 to 255) to an address in wire order,
// first byte highest. The candidates converted here are "127.0.0.1" and the
// system's own interface address texts, which are always in this form.
uint32_t AddressFromText(std::string_view text) {
  uint32_t address = 0;
  size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (i >= text.size() || text[i] != '.') return kAddressNone;
      ++i;
    }
    uint32_t value = 0;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
      value = value * 10 + static_cast<uint32_t>(text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return kAddressNone;
    address = address << 8 | value;
  }
  return i == text.size() ? address : kAddressNone;
}

std::string_view Cut(std::string_view text, size_t max) {
  return text.substr(0, text.size() < max ? text.size() : max);
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
  uint32_t packet_limit = kPacketLimit;
  std::string end_detail;
  RowMiddleCache row_cache;
  uint8_t buffer[kReceiveBufferSize];
};

CaptureSession::CaptureSession(CaptureStore& store, CaptureView& view,
                               PacketSource& source, PrivilegeCheck& privilege)
    : store_(store),
      view_(view),
      source_(source),
      privilege_(privilege),
      impl_(new Impl) {
  ClearFilterSettings(filter_);
}

CaptureSession::~CaptureSession() {
  end_at_exit();
  delete impl_;
}

StartOutcome CaptureSession::start(const StartRequest& request) {
  if (impl_->thread.joinable()) end_capture_thread();

  // 1, 2: the session counts as running from here; bind marks and modes
  // start cleared.
  stop_flag_.store(0, std::memory_order_release);
  ClearFilterSettings(filter_);

  // 3: empty store and list.
  ResetCaptureStore(store_);
  view_.clear_rows();

  // 4: bind marks. Every candidate equal to the interface text is marked;
  // the last marked one in this order gives the bind address.
  const std::string_view interface_text =
      Cut(request.interface_text, kInterfaceTextMax);
  bool marks[5];
  marks[0] = interface_text == "127.0.0.1";
  for (size_t i = 0; i < 4; ++i) {
    marks[i + 1] = interface_text == request.interface_addresses[i];
  }
  bind_address_ = 0;
  if (marks[0]) bind_address_ = AddressFromText("127.0.0.1");
  for (size_t i = 0; i < 4; ++i) {
    if (marks[i + 1]) bind_address_ = AddressFromText(request.interface_addresses[i]);
  }

  // 5, 6, 7: filter settings from the fields, "both traffic" and the boxes.
  const std::string_view from_text = Cut(request.from_field, kFieldTextMax);
  const std::string_view to_text = Cut(request.to_field, kFieldTextMax);
  ParseFilterField(from_text, filter_.from);
  ParseFilterField(to_text, filter_.to);
  view_.fields_read(from_text, to_text);
  SetReversePair(filter_, request.both_traffic);
  filter_.protocols = request.protocols;

  // 8: the privilege check. A refusal starts nothing and leaves the stop
  // flag at 0, so no further session can start.
  const PrivilegeResult rights = privilege_.check();
  if (!rights.checked) {
    view_.start_refused(kRowCheckFailed);
    return StartOutcome::kRefusedCheckFailed;
  }
  if (!rights.allowed) {
    view_.start_refused(kRowNotAllowed);
    return StartOutcome::kRefusedNotAllowed;
  }

  // 9 to 12.
  view_.capture_starting();
  impl_->packet_limit = request.packet_limit == 0 || request.packet_limit > kPacketLimit
                            ? kPacketLimit
                            : request.packet_limit;
  impl_->end_detail.clear();
  {
    std::lock_guard<std::mutex> lock(impl_->release_mutex);
    impl_->released = false;
  }
  impl_->finished.store(false, std::memory_order_relaxed);
  try {
    impl_->thread = std::thread([this] { run_capture_thread(); });
  } catch (const std::system_error&) {
    // No thread: the session ends at once, as one whose source failed.
    stop_flag_.store(1, std::memory_order_release);
    impl_->finished.store(true, std::memory_order_release);
    view_.capture_started();
    view_.capture_ended(CaptureEnd::kOpenFailed, "cannot start the capture thread");
    return StartOutcome::kStarted;
  }
  view_.capture_started();
  // The thread waits for this, so that the view hears "started" before it
  // can hear "ended".
  {
    std::lock_guard<std::mutex> lock(impl_->release_mutex);
    impl_->released = true;
  }
  impl_->release_signal.notify_one();
  return StartOutcome::kStarted;
}

void CaptureSession::run_capture_thread() {
  Impl& s = *impl_;
  {
    std::unique_lock<std::mutex> lock(s.release_mutex);
    s.release_signal.wait(lock, [&s] { return s.released; });
  }
  store_.pool_fill.store(0, std::memory_order_release);
  uint32_t count = 0;
  bool ended_by_itself = true;
  CaptureEnd why = CaptureEnd::kSourceEnded;

  if (!source_.open(bind_address_)) {
    why = CaptureEnd::kOpenFailed;
    s.end_detail = source_.error();
  } else {
    ended_by_itself = false;
    while (stop_flag_.load(std::memory_order_acquire) == 0) {
      size_t length = 0;
      const ReceiveStatus status =
          source_.receive(s.buffer, sizeof s.buffer, length);
      if (status == ReceiveStatus::kWoken) continue;
      if (status == ReceiveStatus::kEnd || status == ReceiveStatus::kFailed) {
        // A failing source is not retried: it would fail again at once, and
        // the loop would spin. The session ends as at the packet limit.
        why = status == ReceiveStatus::kEnd ? CaptureEnd::kSourceEnded
                                            : CaptureEnd::kSourceFailed;
        if (status == ReceiveStatus::kFailed) s.end_detail = source_.error();
        ended_by_itself = true;
        break;
      }
      if (length < kIpv4HeaderMin) continue;
      if (length > sizeof s.buffer) length = sizeof s.buffer;
      RowText row;
      uint8_t protocol = 0;
      if (!FilterAndDescribe(s.buffer, length, count, filter_, row, protocol,
                             &s.row_cache)) {
        continue;
      }
      const AppendOutcome outcome =
          AppendDatagram(store_, count, s.buffer, static_cast<uint32_t>(length),
                         protocol, row.view(), view_);
      if (outcome == AppendOutcome::kPoolFull) {
        why = CaptureEnd::kPoolFull;
        ended_by_itself = true;
        break;
      }
      if (count >= s.packet_limit) {
        why = CaptureEnd::kPacketLimit;
        ended_by_itself = true;
        break;
      }
    }
  }

  // The limit stop and its kin: the stop flag goes to 1 and the source is
  // closed before the view hears of it. When the flag was 1 already, "stop"
  // or exit asked for the end (a woken source may report that as a failed
  // or ended receive): the UI thread is then waiting to join, and it tells
  // the view itself.
  const int was = ended_by_itself ? stop_flag_.exchange(1, std::memory_order_acq_rel) : 1;
  source_.close();
  if (was == 0) view_.capture_ended(why, s.end_detail);
  s.finished.store(true, std::memory_order_release);
  s.finished.notify_all();
}

// Ends the capture thread cooperatively: stop flag, wake, wait, join. The
// wait goes through the view so that a dialog keeps handling the row that
// the capture thread may be handing it at this moment.
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
