// Capture session: one run of capturing, from "go!" until "stop", the packet
// limit, a full byte pool, the end of the source, or the end of the program.
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

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

#include "capture/capture_store.h"
#include "capture/capture_view.h"
#include "capture/filter.h"
#include "capture/packet_source.h"
#include "capture/privilege.h"

namespace pw {

// The interface combo's text is read with room for this many characters.
inline constexpr size_t kInterfaceTextMax = 19;

// What "go!" reads from the dialog's fields (or the command line).
struct StartRequest {
  std::string_view interface_text{};  // combo 1006; at most 19 characters are taken
  std::string_view from_field{};      // combo 1004
  std::string_view to_field{};        // combo 1005
  bool both_traffic = false;        // box 1007
  ProtocolSwitches protocols{};     // boxes 1014, 1015, 1008, 1009, 1013
  // The four interface address texts (slots 1 to 4; any may be empty) that
  // the interface text is compared with to choose the bind address.
  std::array<std::string_view, 4> interface_addresses{};
  // The session ends by itself (CaptureEnd::kPacketLimit) once this many
  // datagrams are stored; values above kPacketLimit, and 0, mean
  // kPacketLimit. The dialog leaves it; the command line's --count sets it.
  uint32_t packet_limit = kPacketLimit;
};

enum class StartOutcome {
  kStarted,
  kRefusedCheckFailed,  // the privilege check could not be carried out
  kRefusedNotAllowed,   // the process may not capture
};

class CaptureSession {
 public:
  CaptureSession(CaptureStore& store, CaptureView& view, PacketSource& source,
                 PrivilegeCheck& privilege);
  ~CaptureSession();  // ends a running session as end_at_exit does
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // "go!". Refused starts leave the stop flag at 0 (no further start is
  // offered until the program restarts). A session that is still running
  // (the dialog disables "go!" meanwhile, so only a careless caller gets
  // here) is first ended as end_at_exit ends it.
  StartOutcome start(const StartRequest& request);

  // "stop": ends the running session, if any, and returns the controls to
  // idle through CaptureView::capture_stopped. Also from the refused state.
  // Returns once the capture thread has ended: after that nothing more is
  // stored or listed, and the source is closed.
  void stop();

  // Exit or close: ends a running session without touching the controls.
  void end_at_exit();

  // 1: no session runs, or the running one is to end; 0: a session runs.
  // Read by the icon animation thread; 1 from construction on.
  const std::atomic<int>& stop_flag() const { return stop_flag_; }

  // The bind address that start chose (wire order; 0 = any interface).
  uint32_t bind_address() const { return bind_address_; }

  // The filter settings of the last start.
  const FilterSettings& filter() const { return filter_; }

 private:
  struct Impl;
  void run_capture_thread();
  void end_capture_thread();
  CaptureStore& store_;
  CaptureView& view_;
  PacketSource& source_;
  PrivilegeCheck& privilege_;
  std::atomic<int> stop_flag_{1};
  uint32_t bind_address_ = 0;
  FilterSettings filter_{};
  Impl* impl_ = nullptr;  // the capture thread and its state
};

}  // namespace pw
