#include "gui/dialog_capture_view.h"

#include <cstring>

#include "engine/filter.h"
#include "engine/row_text.h"
#include "res/resource.h"
#include "ui/capture_end_text.h"

namespace pw {
namespace {

// While a capture runs the list takes its new rows this often: listing and
// painting them one by one would cost more than capturing.
constexpr UINT_PTR kListPaintTimer = 1;
constexpr UINT kListPaintInterval = 100;  // ms
// The written count of a streaming session is shown this often.
constexpr UINT_PTR kWrittenCountTimer = 2;
constexpr UINT kWrittenCountInterval = 1000;  // ms
constexpr char kRowWriteFailed[] = "cannot write ";
// A text row holds a path of MAX_PATH characters and its reason.
constexpr size_t kTextRowLongest = 511;

// Room the list makes for a session's rows at its start.
constexpr WPARAM kRowsReserved = kPacketLimit;
constexpr LPARAM kRowBytesReserved = kPacketLimit * 64;

std::string DatagramCount(uint64_t written) {
  return std::to_string(written) + (written == 1 ? " datagram" : " datagrams");
}

}  // namespace

std::string WrittenCountRow(const std::string& path, uint64_t written) {
  return " writing " + path + ": " + DatagramCount(written);
}

std::string WrittenCountTip(const std::string& path, uint64_t written) {
  const size_t name = path.find_last_of("\\/:");
  return "writing " + path.substr(name == std::string::npos ? 0 : name + 1) + ": " +
         DatagramCount(written);
}

void DialogCaptureView::attach(HWND dialog, const CaptureStore& store,
                               std::function<void()> starting) {
  dialog_ = dialog;
  store_ = &store;
  list_ = GetDlgItem(dialog, IDC_LIST);
  starting_ = std::move(starting);
}

void DialogCaptureView::add_text_row(std::string_view row, int before) {
  char text[kTextRowLongest + 1];
  const size_t n = row.size() < sizeof text - 1 ? row.size() : sizeof text - 1;
  std::memcpy(text, row.data(), n);
  text[n] = '\0';
  SendMessageA(list_, LB_INSERTSTRING, static_cast<WPARAM>(before), reinterpret_cast<LPARAM>(text));
}

// Capture thread: the row is the sniff log's next line, which the UI
// thread lists at its next look.
void DialogCaptureView::add_row(std::string_view) {
  rows_stored_.fetch_add(1, std::memory_order_relaxed);
}

void DialogCaptureView::stream_into(const CaptureStream* stream, const std::string& path) {
  stream_ = stream;
  stream_path_ = stream != nullptr ? path : std::string();
}

void DialogCaptureView::on_timer(UINT_PTR id) {
  if (id == kListPaintTimer) list_new_rows();
  if (id == kWrittenCountTimer) show_written_count();
}

// The count row is put anew in its place; the tip follows.
void DialogCaptureView::show_written_count() {
  if (count_row_ < 0 || stream_ == nullptr) return;
  const uint64_t written = stream_->written();
  const std::string row = WrittenCountRow(stream_path_, written);
  add_text_row(row, count_row_);
  SendMessageA(list_, LB_DELETESTRING, static_cast<WPARAM>(count_row_) + 1, 0);
  if (tip_) tip_(WrittenCountTip(stream_path_, written));
}

// The sniff log's lines published since the last look, as rows, painted
// once. A line is published whole after its datagram is stored.
void DialogCaptureView::list_new_rows() {
  const std::string_view log = SniffLogText(*store_);
  if (log.size() <= listed_log_) return;
  const std::string_view fresh = log.substr(listed_log_);
  listed_log_ = log.size();
  SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
  ForEachSniffLogLine(fresh, [this](std::string_view line) {
    char row[kRowTextLongest + 1];
    const size_t n = line.size() < sizeof row - 1 ? line.size() : sizeof row - 1;
    std::memcpy(row, line.data(), n);
    row[n] = '\0';
    // A streaming session's count row stays after the datagrams' rows.
    SendMessageA(list_, LB_INSERTSTRING, static_cast<WPARAM>(count_row_),
                 reinterpret_cast<LPARAM>(row));
    if (count_row_ >= 0) ++count_row_;
  });
  SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
}

void DialogCaptureView::clear_rows() {
  SendMessageA(list_, LB_RESETCONTENT, 0, 0);
  SendMessageA(list_, LB_INITSTORAGE, kRowsReserved, kRowBytesReserved);
  listed_log_ = 0;
  rows_stored_.store(0, std::memory_order_relaxed);
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
  if (tip_) tip_(stream_ != nullptr ? WrittenCountTip(stream_path_, 0) : std::string());
  if (stream_ == nullptr) return;
  count_row_ = static_cast<int>(SendMessageA(list_, LB_GETCOUNT, 0, 0));
  add_text_row(WrittenCountRow(stream_path_, 0));
  SetTimer(dialog_, kWrittenCountTimer, kWrittenCountInterval, nullptr);
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
  const auto end = static_cast<CaptureEnd>(why);
  const uint32_t stored = rows_stored_.load(std::memory_order_relaxed);
  std::string row;
  if (end == CaptureEnd::kWriteFailed) {
    row = std::string(kRowCaptureFailed) + kRowWriteFailed + detail;
  } else if (end == CaptureEnd::kOpenFailed || end == CaptureEnd::kSourceFailed) {
    row = std::string(kRowCaptureFailed) + detail;
  } else {
    row = " ";
    row += stream_ != nullptr ? StreamEndedText(end, stream_->written(), stored)
                              : EndedByItselfText(end, stored);
  }
  return_to_idle(row);
}

void DialogCaptureView::capture_stopped() { return_to_idle(); }

// The session's last rows are listed before anything else happens: after
// a stop returns, the list holds every stored datagram's row. The end row
// goes in before the controls show that the session is over, so that
// whoever sees them so finds it listed.
void DialogCaptureView::return_to_idle(const std::string& end_row) {
  running_session_.store(0);
  KillTimer(dialog_, kListPaintTimer);
  KillTimer(dialog_, kWrittenCountTimer);
  list_new_rows();
  show_written_count();
  count_row_ = -1;
  if (!end_row.empty()) add_text_row(end_row);
  EnableWindow(item(IDC_GO), !start_refused_);
  EnableWindow(item(IDC_BOTH_TRAFFIC), TRUE);
  EnableWindow(item(IDC_STOP), FALSE);
  SetFocus(item(start_refused_ ? IDC_LIST : IDC_GO));
}

}  // namespace pw
