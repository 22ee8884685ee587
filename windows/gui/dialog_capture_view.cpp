#include "gui/dialog_capture_view.h"

#include <cstring>

#include "engine/filter.h"
#include "res/resource.h"
#include "ui/capture_end_text.h"

namespace pw {
namespace {

// While a capture runs the list is repainted at most this often: painting
// it after every added row would cost more than capturing.
constexpr UINT_PTR kListPaintTimer = 1;
constexpr UINT kListPaintInterval = 100;  // ms

}  // namespace

void DialogCaptureView::attach(HWND dialog, std::function<void()> starting) {
  dialog_ = dialog;
  list_ = GetDlgItem(dialog, IDC_LIST);
  starting_ = std::move(starting);
}

void DialogCaptureView::add_text_row(std::string_view row) {
  char text[256];
  const size_t n = row.size() < sizeof text - 1 ? row.size() : sizeof text - 1;
  std::memcpy(text, row.data(), n);
  text[n] = '\0';
  SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

// Capture thread: the list belongs to the UI thread, so the row is sent
// there and listed before this returns. The list's painting is held back
// until the next tick of the paint timer.
void DialogCaptureView::add_row(std::string_view row) {
  if (!paint_held_.exchange(true)) SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
  add_text_row(row);
  rows_listed_.fetch_add(1, std::memory_order_relaxed);
}

void DialogCaptureView::on_timer(UINT_PTR id) {
  if (id == kListPaintTimer) paint_rows();
}

void DialogCaptureView::paint_rows() {
  if (!paint_held_.load()) return;
  SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
  paint_held_ = false;
}

void DialogCaptureView::clear_rows() {
  SendMessageA(list_, LB_RESETCONTENT, 0, 0);
  rows_listed_.store(0, std::memory_order_relaxed);
}

void DialogCaptureView::add_field_history(std::string_view from_text,
                                          std::string_view to_text) {
  add_combo_item(IDC_FROM, from_text.substr(0, kFieldTextMax));
  add_combo_item(IDC_TO, to_text.substr(0, kFieldTextMax));
}

// CB_FINDSTRINGEXACT would take "a" for "A": the entries are compared here.
void DialogCaptureView::add_combo_item(int id, std::string_view text) {
  HWND combo = item(id);
  const std::string entry(text);
  const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, i, 0);
    if (length != static_cast<LRESULT>(entry.size())) continue;
    std::string listed(entry.size() + 1, '\0');
    SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(listed.data()));
    listed.resize(entry.size());
    if (listed == entry) {
      SendMessageA(combo, CB_DELETESTRING, i, 0);
      break;
    }
  }
  SendMessageA(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  for (LRESULT n = SendMessageA(combo, CB_GETCOUNT, 0, 0); n > kFieldHistoryMax; --n) {
    SendMessageA(combo, CB_DELETESTRING, n - 1, 0);
  }
}

void DialogCaptureView::start_refused(StartRefusal why) {
  start_refused_ = true;
  EnableWindow(item(IDC_GO), FALSE);
  add_text_row(why == StartRefusal::kNotAllowed ? kRowNotAllowed : kRowCheckFailed);
}

void DialogCaptureView::start_failed(std::string_view detail) {
  add_text_row(std::string(kRowCaptureFailed) + std::string(detail));
}

void DialogCaptureView::set_tab_stops(const std::array<INT, kListColumns>& stops) {
  tab_stops_ = stops;
  SendMessageA(list_, LB_SETTABSTOPS, stops.size(), reinterpret_cast<LPARAM>(stops.data()));
  InvalidateRect(list_, nullptr, TRUE);
}

void DialogCaptureView::capture_starting() {
  SendMessageA(list_, LB_SETTABSTOPS, tab_stops_.size(),
               reinterpret_cast<LPARAM>(tab_stops_.data()));
  if (starting_) starting_();
}

void DialogCaptureView::capture_started() {
  running_session_.store(++last_session_);
  EnableWindow(item(IDC_GO), FALSE);
  EnableWindow(item(IDC_BOTH_TRAFFIC), FALSE);
  EnableWindow(item(IDC_STOP), TRUE);
  SetFocus(item(IDC_STOP));
  SetTimer(dialog_, kListPaintTimer, kListPaintInterval, nullptr);
}

// Capture thread: focus and enabling belong on the UI thread, which gets
// them through a posted message that names the session (the UI thread may
// be inside stop() at this moment, or past it and into a new start).
void DialogCaptureView::capture_ended(CaptureEnd why, std::string_view detail) {
  {
    std::lock_guard<std::mutex> lock(end_mutex_);
    end_detail_.assign(detail);
  }
  PostMessageA(dialog_, PW_MSG_CAPTURE_ENDED, static_cast<WPARAM>(why),
               static_cast<LPARAM>(running_session_.load()));
}

void DialogCaptureView::on_capture_ended(WPARAM why, LPARAM session) {
  std::string detail;
  {
    std::lock_guard<std::mutex> lock(end_mutex_);
    detail.swap(end_detail_);
  }
  const uint32_t running = running_session_.load();
  if (running == 0 || static_cast<uint32_t>(session) != running) return;
  return_to_idle();
  const auto end = static_cast<CaptureEnd>(why);
  if (end == CaptureEnd::kOpenFailed || end == CaptureEnd::kSourceFailed ||
      end == CaptureEnd::kWriteFailed) {
    add_text_row(std::string(kRowCaptureFailed) + detail);
  } else {
    std::string row(" ");
    row += EndedByItselfText(end, rows_listed_.load(std::memory_order_relaxed));
    add_text_row(row);
  }
}

void DialogCaptureView::capture_stopped() { return_to_idle(); }

void DialogCaptureView::return_to_idle() {
  running_session_.store(0);
  KillTimer(dialog_, kListPaintTimer);
  paint_rows();
  EnableWindow(item(IDC_GO), !start_refused_);
  EnableWindow(item(IDC_BOTH_TRAFFIC), TRUE);
  EnableWindow(item(IDC_STOP), FALSE);
  SetFocus(item(start_refused_ ? IDC_LIST : IDC_GO));
}

// UI thread: handle the rows that the capture thread sends meanwhile, or the
// two threads would wait for each other.
void DialogCaptureView::wait_for_capture_thread(const std::atomic<bool>& finished) {
  MSG message;
  while (!finished.load(std::memory_order_acquire)) {
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_SENDMESSAGE);
  }
}

}  // namespace pw
