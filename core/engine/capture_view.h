// Capture view: what a capture session shows to the user. The Windows main
// dialog implements it over its controls, the Linux front end over the
// terminal, tests with a recorder.
//
// Each function says which thread calls it. UI thread: the thread that calls
// CaptureSession::start/stop/end_at_exit. Capture thread: the session's own.
#pragma once

#include <atomic>
#include <chrono>
#include <string_view>
#include <thread>

#include "engine/capture_store.h"

namespace pw {

// Why a session ended without "stop".
enum class CaptureEnd {
  kLimitReached,  // the packet limit (or the smaller count asked for) is stored
  kPoolFull,      // the next accepted datagram did not fit in the byte pool
  kSourceEnded,   // the source had no more datagrams (end of a capture file)
  kOpenFailed,    // the source could not be opened (socket, bind, receive-all)
  kSourceFailed,  // a receive failed; the session stops instead of retrying
};

// Why a start was refused before any capture began.
enum class StartRefusal {
  kCheckFailed,  // the privilege check could not be carried out
  kNotAllowed,   // the process may not capture
};

class CaptureView : public RowSink {
 public:
  // Capture thread (RowSink::add_row): add `row` as the new last row of the
  // list and return only when it is listed. Allocates nothing on the
  // session's side; the view may copy the text.

  // UI thread, start: the list is emptied (the store is reset just before).
  virtual void clear_rows() = 0;

  // UI thread, start, after both filter fields are read: the texts as read
  // (at most 23 characters each). The dialog adds each to the drop-down
  // list of its field, also when it is there already.
  virtual void fields_read(std::string_view from_text, std::string_view to_text) {
    (void)from_text;
    (void)to_text;
  }

  // UI thread, start refused by the privilege check: no capture thread was
  // started and the stop flag stays 0, so no further start is offered. The
  // front end says why in its own words.
  virtual void start_refused(StartRefusal why) = 0;

  // UI thread, start, after the privilege check passed, before the capture
  // thread starts (the dialog sets the list's tab stops and starts the icon
  // animation here).
  virtual void capture_starting() {}

  // UI thread, start, right after the capture thread started: the start
  // button and "both traffic" are disabled, the stop button enabled and
  // focused.
  virtual void capture_started() = 0;

  // UI thread, start: the capture thread could not be created; `detail`
  // says why. The stop flag is 1 again and nothing runs: the controls stay
  // idle and the front end reports the failure.
  virtual void start_failed(std::string_view detail) = 0;

  // Capture thread, when the session ends by itself: the stop flag is 1 and
  // the source is closed; nothing more will be stored or listed. `detail`
  // is the source's error text for kOpenFailed and kSourceFailed, else
  // empty. The view returns the controls to idle (start button and "both
  // traffic" enabled, stop button disabled, focus on the start button) and
  // shows failures to the user. Must not block on the UI thread (the dialog
  // posts itself a message); the UI thread may at the same moment be inside
  // stop().
  virtual void capture_ended(CaptureEnd why, std::string_view detail) = 0;

  // UI thread, after "stop" ended the session: the controls return to idle.
  virtual void capture_stopped() = 0;

  // UI thread, inside stop/end_at_exit: returns once `finished` is true.
  // The capture thread may meanwhile be handing a row to the UI thread: a
  // dialog must keep handling such sent messages while it waits, or the two
  // threads would wait for each other. The default polls: the MinGW
  // runtime's std::atomic::wait can miss the notify and block for ever.
  virtual void wait_for_capture_thread(const std::atomic<bool>& finished) {
    while (!finished.load(std::memory_order_acquire)) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  }

 protected:
  ~CaptureView() = default;
};

}  // namespace pw
