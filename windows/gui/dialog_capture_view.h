// The capture view of the main dialog: rows into the main list, the start
// and stop buttons' enable rules, the refusal, failure and end rows. The
// rows of stored datagrams are the sniff log's lines: the UI thread lists
// the lines published since its last look, ten times a second while a
// session runs and once more as it ends or stops, in one batch that is
// painted once; the capture thread only counts them and never waits for
// the UI thread. A session that streams into a file keeps in the list the
// store's rows (the first kPacketLimit), and after them one row that says
// how many datagrams were written, updated once a second. Everything but
// add_row and capture_ended runs on the UI thread.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "engine/capture_view.h"
#include "files/capture_stream.h"
#include "gui/list_layout.h"

namespace pw {

// The rows that say why no capture started or why one ended.
inline constexpr char kRowNotAllowed[] = " administrators rights required!";
inline constexpr char kRowCheckFailed[] = " internal error: administrators rights required!";
inline constexpr char kRowCaptureFailed[] = " capture failed: ";

// " writing D:\x.pcap: 25000 datagrams": the row after a streaming
// session's datagram rows.
std::string WrittenCountRow(const std::string& path, uint64_t written);

// "writing x.pcap: 25000 datagrams": the notification icon's tip while a
// session streams (the tip takes 127 characters: the file's name only).
std::string WrittenCountTip(const std::string& path, uint64_t written);

// Entries of the from and to fields' drop-down lists.
inline constexpr int kFieldHistoryMax = 10;

class DialogCaptureView final : public CaptureView {
 public:
  // `starting` runs when a capture is about to start, after the list's tab
  // stops are set (the main dialog starts the icon animation there). The
  // rows come from `store`'s sniff log.
  void attach(HWND dialog, const CaptureStore& store, std::function<void()> starting);

  // `tip` shows the written-count tip of a streaming session (the main
  // dialog's notification icon). UI thread, once.
  void set_tip_function(std::function<void(const std::string&)> tip) { tip_ = std::move(tip); }

  // The next session streams into `stream` (null: into no file), which
  // writes the file `path`. UI thread, before each start.
  void stream_into(const CaptureStream* stream, const std::string& path);

  // Adds `row` as the new last row of the main list, or before row
  // `before`. UI thread.
  void add_text_row(std::string_view row, int before = -1);

  // Sets the list's tab stops (dialog units of its client area, one for
  // each column, ListLayout::arrange), now and again at each start. UI
  // thread.
  void set_tab_stops(const std::array<INT, kListColumns>& stops);
  const std::array<INT, kListColumns>& tab_stops() const { return tab_stops_; }

  // Puts the from and to texts of a start, as the filter takes them (cut
  // to kFieldTextMax), at the top of the drop-down lists of their fields:
  // each text once (compared exactly), the most recent first, at most
  // kFieldHistoryMax entries. UI thread.
  void add_field_history(std::string_view from_text, std::string_view to_text);

  // A session runs (started and not yet ended or stopped). UI thread.
  bool capturing() const { return running_session_.load() != 0; }

  // UI thread, WM_TIMER: on the view's paint timer, paints the rows listed
  // since the last tick; on its count timer, shows the written count.
  void on_timer(UINT_PTR id);

  // UI thread, PW_MSG_CAPTURE_ENDED: returns the controls to idle when the
  // message comes from the session that is still running, and lists after
  // the datagrams' rows why and how many: " capture ended: 3 datagrams
  // stored, end of the file" (" capture ended: 25000 datagrams written,
  // 10000 stored, end of the file" for a streaming session), or the
  // failure (" capture failed: cannot write D:\x.pcap: <reason>" when the
  // file could not be written). A message of an earlier session (stopped, or followed by a new
  // start before the message arrived) is ignored.
  void on_capture_ended(WPARAM why, LPARAM session);

  // CaptureView.
  void add_row(std::string_view row) override;
  void clear_rows() override;
  void start_refused(StartRefusal why) override;
  void start_failed(std::string_view detail) override;
  void capture_starting() override;
  void capture_started() override;
  void capture_ended(CaptureEnd why, std::string_view detail) override;
  void capture_stopped() override;

 private:
  void list_new_rows();
  void show_written_count();
  void return_to_idle(const std::string& end_row = {});
  void add_combo_item(int id, std::string_view text);
  HWND item(int id) const { return GetDlgItem(dialog_, id); }

  HWND dialog_ = nullptr;
  HWND list_ = nullptr;
  std::function<void()> starting_;
  std::array<INT, kListColumns> tab_stops_{};
  // Number of the running session, 0 while none runs (UI thread writes,
  // the capture thread reads it when its session ends by itself).
  std::atomic<uint32_t> running_session_{0};
  uint32_t last_session_ = 0;
  std::mutex end_mutex_;
  std::string end_detail_;  // the failure text of the session that ended
  const CaptureStore* store_ = nullptr;
  // Sniff-log bytes already listed (UI thread).
  size_t listed_log_ = 0;
  // Rows of stored datagrams since the last start (the capture thread
  // counts, the UI thread reads once the session has ended).
  std::atomic<uint32_t> rows_stored_{0};
  // The streaming session's file, and the index of its count row while it
  // runs (-1: none). UI thread.
  const CaptureStream* stream_ = nullptr;
  std::string stream_path_;
  int count_row_ = -1;
  std::function<void(const std::string&)> tip_;
  // A start was refused: "go!" stays disabled for the rest of the
  // program, also after a capture file has been read (UI thread).
  bool start_refused_ = false;
};

}  // namespace pw
