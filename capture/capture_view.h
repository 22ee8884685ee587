// Capture view: what a capture session shows to the user. The Windows main
// dialog implements it over its controls (list 1003, the buttons, the
// combos); the Linux front end over the terminal; tests with a recorder.
//
// Each function says which thread calls it. UI thread: the thread that calls
// CaptureSession::start/stop/end_at_exit. Capture thread: the session's own.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>
#include <string_view>

#include "capture/capture_store.h"

namespace pw {

// Why a session ended without "stop". (GCC 12 takes the scoped enumerator
// kPacketLimit for a shadow of the store's constant of that name.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#endif
enum class CaptureEnd {
  kPacketLimit,   // 10,000 datagrams stored
  kPoolFull,      // the next accepted datagram did not fit in the byte pool
  kSourceEnded,   // the source had no more datagrams (end of a pcap file)
  kOpenFailed,    // the source could not be opened (socket, bind, receive-all)
  kSourceFailed,  // a receive failed; the session stops instead of retrying
};
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

class CaptureView : public RowSink {
 public:
  // Capture thread (RowSink::add_row): add `row` as the new last row of the
  // list and return only when it is listed. Allocates nothing on the
  // session's side; the view may copy the text.

  // UI thread, "go!": the list is emptied (the store is reset just before).
  virtual void clear_rows() = 0;

  // UI thread, "go!", after both filter fields are read: the texts as read
  // (at most 23 characters each). The dialog adds each to its combo's
  // drop-down list, also when it is there already.
  virtual void fields_read(std::string_view from_text, std::string_view to_text) {
    (void)from_text;
    (void)to_text;
  }

  // UI thread, "go!" refused by the privilege check: `row` is the refusal
  // row (" administrators rights required!" or " internal error:
  // administrators rights required!"). The dialog disables "go!" and lists
  // the row; "stop" stays disabled.
  virtual void start_refused(std::string_view row) = 0;

  // UI thread, "go!" after the privilege check passed, before the capture
  // thread starts (the dialog sets the list's tab stops and starts the icon
  // animation here).
  virtual void capture_starting() {}

  // UI thread, "go!", right after the capture thread started: "go!" and
  // "both traffic" disabled, "stop" enabled and focused.
  virtual void capture_started() = 0;

  // Capture thread, when the session ends by itself: the stop flag is 1 and
  // the source is closed; nothing more will be stored or listed. `detail`
  // is the source's error text for kOpenFailed and kSourceFailed, else
  // empty. The view returns the controls to idle ("go!" and "both traffic"
  // enabled, "stop" disabled, focus on "go!") and shows failures to the
  // user. Must not block on the UI thread (the dialog posts itself a
  // message); the UI thread may at the same moment be inside stop().
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
