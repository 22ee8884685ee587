// Capture view: what a capture session tells its front end. Each front end
// implements it (the Windows main dialog over its controls, the Linux front
// end over the terminal), tests with a recorder.
//
// Each function says which thread calls it. UI thread: the thread that calls
// CaptureSession::start/stop/end_at_exit. Capture thread: the session's own.
#pragma once

#include <atomic>
#include <string_view>

#include "engine/capture_store.h"

namespace pw {

// Why a session ended without "stop".
enum class CaptureEnd {
  kLimitReached,  // the packet limit (or the smaller count asked for) is stored
  kPoolFull,      // the next accepted datagram did not fit in the byte pool
  kSourceEnded,   // the source had no more datagrams (end of a capture file)
  kOpenFailed,    // the source could not be opened
  kSourceFailed,  // a receive failed; the session stops instead of retrying
  kWriteFailed,   // the stream's file could not be written
};

// Why a start was refused before any capture began.
enum class StartRefusal {
  kCheckFailed,  // the front end could not find out whether it may capture
  kNotAllowed,   // the process may not capture
};

class CaptureView : public RowSink {
 public:
  // Capture thread (RowSink::add_row): add `row` as the new last row of the
  // list and return only when it is listed. Allocates nothing on the
  // session's side; the view may copy the text.

  // UI thread, start: the store was just reset; the rows listed so far
  // belong to no stored datagram any more.
  virtual void clear_rows() = 0;

  // UI thread, start refused (the front end's rights were not given): no
  // capture thread was started and the stop flag stays 0: the session
  // stays refused. The front end says why in its own words.
  virtual void start_refused(StartRefusal why) = 0;

  // UI thread, start, after the rights were given, before the capture
  // thread starts.
  virtual void capture_starting() {}

  // UI thread, start, right after the capture thread started: the session
  // runs until capture_ended or a stop.
  virtual void capture_started() = 0;

  // Capture thread, once the source is open, before its first receive.
  virtual void source_opened() {}

  // Capture thread, while a session streams into a file: the row of an
  // accepted datagram that the store, full, did not take (it went to the
  // stream), captured at `time`. Its row number goes on from the store's.
  virtual void add_unstored_row(std::string_view row, CaptureTime time) {
    (void)row;
    (void)time;
  }

  // UI thread, start: the session could not start (its stream's file
  // could not be written, or its capture thread could not be created);
  // `detail` says why. The stop flag is 1 again and nothing runs.
  virtual void start_failed(std::string_view detail) = 0;

  // Capture thread, when the session ends by itself: the stop flag is 1 and
  // the source is closed; nothing more will be stored or listed. `detail`
  // is the source's error text for kOpenFailed and kSourceFailed, the
  // stream's for kWriteFailed, else empty. Must not block on the UI
  // thread, which may at the same moment be inside stop() (a dialog posts
  // itself a message).
  virtual void capture_ended(CaptureEnd why, std::string_view detail) = 0;

  // UI thread, after stop() ended the session (or found none running).
  virtual void capture_stopped() = 0;

  // UI thread, inside stop/end_at_exit, before the session joins the
  // capture thread: returns once `finished` is true, or at once. A view
  // whose add_row waits for the UI thread (a dialog sends the row to its
  // list) must keep serving it until `finished`, or the two threads would
  // wait for each other. By default it returns at once and the join waits:
  // a view whose add_row never waits for the UI thread needs nothing more.
  virtual void wait_for_capture_thread(const std::atomic<bool>& finished) { (void)finished; }

 protected:
  ~CaptureView() = default;
};

}  // namespace pw
