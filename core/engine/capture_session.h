// Capture session: one run of capturing, from its start until it is
// stopped, reaches the packet limit, fills the byte pool, or its source ends
// or fails, or the program ends.
//
// start, stop and end_at_exit run on the UI thread. The session owns one
// capture thread at a time; it receives from the packet source, filters,
// stores and lists. Stopping is cooperative: the stop flag is set, the
// source is woken so that a blocked receive returns, and the thread is
// joined (through CaptureView::wait_for_capture_thread, so that a row being
// handed to the UI thread cannot deadlock the two). After stop returns,
// nothing more is stored or listed. The view hears capture_started before
// any row or capture_ended of that session.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

#include "engine/capture_origin.h"
#include "engine/capture_store.h"
#include "engine/capture_view.h"
#include "engine/filter.h"
#include "engine/packet_source.h"
#include "files/capture_stream.h"

namespace pw {

// What a start needs: where the datagrams come from, the filter fields and
// switches, and the limit. A front end fills it from its own controls or
// arguments.
struct StartRequest {
  CaptureOrigin origin{};
  std::string_view from_field{};  // address:port of the sources to store
  std::string_view to_field{};    // address:port of the destinations to store
  bool both_traffic = false;      // also store the opposite direction
  ProtocolSwitches protocols{};
  // The session ends by itself (CaptureEnd::kLimitReached) once this many
  // datagrams are stored; values above kPacketLimit, and 0, mean
  // kPacketLimit. With a stream: once this many are accepted, 0 meaning
  // no end.
  uint32_t packet_limit = kPacketLimit;
  // Where every accepted datagram is streamed as it comes (null: nowhere).
  // The store's limits then end only the storing: the session goes on,
  // its rows numbered on past the store's (CaptureView::add_unstored_row),
  // until it is stopped, reaches the packet limit, the source ends or
  // fails, or a write fails (CaptureEnd::kWriteFailed). The session begins
  // the stream as it starts (a first file that cannot be written refuses
  // the start: StartOutcome::kStreamFailed) and ends it (written out and
  // synced) as it ends; the stream must outlive the session's run.
  CaptureStream* stream = nullptr;
};

enum class StartOutcome {
  kStarted,
  kRefusedCheckFailed,  // the privilege check could not be carried out
  kRefusedNotAllowed,   // the process may not capture
  kThreadFailed,        // the capture thread could not be created
  kStreamFailed,        // the stream's first file could not be written
};

class CaptureSession {
 public:
  CaptureSession(CaptureStore& store, CaptureView& view, PacketSource& source);
  ~CaptureSession();  // ends a running session as end_at_exit does
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // Starts a session on the request's origin. `rights` is the front end's
  // answer, asked before the start, to whether it may read from that origin
  // (RightsToRead). A refused start captures nothing and leaves the stop
  // flag at 0: the session stays refused until the program ends. A session
  // that is still running is first ended as end_at_exit ends it.
  StartOutcome start(const StartRequest& request, PrivilegeResult rights);

  // Ends the running session, if any, and tells the view
  // (CaptureView::capture_stopped). Also from the refused state.
  // Returns once the capture thread has ended: after that nothing more is
  // stored or listed, and the source is closed.
  void stop();

  // Ends a running session without telling the view: the program is
  // closing, or a new start follows.
  void end_at_exit();

  // 1: no session runs, or the running one is to end; 0: a session runs.
  // Read by the icon animation thread; 1 from construction on.
  const std::atomic<int>& stop_flag() const { return stop_flag_; }

  // The filter settings of the last start.
  const FilterSettings& filter() const { return filter_; }

 private:
  struct Impl;
  struct Ending;
  StartOutcome start_capture_thread(uint64_t packet_limit);
  void run_capture_thread();
  Ending receive_until_end();
  void end_capture_thread();
  CaptureStore& store_;
  CaptureView& view_;
  PacketSource& source_;
  std::atomic<int> stop_flag_{1};
  CaptureOrigin origin_;
  FilterSettings filter_{};
  std::unique_ptr<Impl> impl_;  // the capture thread and its state
};

}  // namespace pw
