// Capture session: one run of capturing, from its start until "stop", the
// packet limit, a full byte pool, the end of the source, or the end of the
// program.
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
#include <memory>
#include <string_view>

#include "engine/capture_store.h"
#include "engine/capture_view.h"
#include "engine/filter.h"
#include "engine/packet_source.h"
#include "engine/privilege.h"

namespace pw {

// The interface text is read with room for this many characters.
inline constexpr size_t kInterfaceTextMax = 19;

// The address a session binds to when the interface text names none of the
// candidates: any interface.
inline constexpr uint32_t kAnyInterface = 0;
// What the socket library's address conversion gives for a text that is
// not an address; binding to it fails, which the session then reports.
inline constexpr uint32_t kAddressNone = 0xFFFFFFFFu;

// What a start reads from the user: the dialog's fields or the command line.
struct StartRequest {
  // The interface to bind to, as typed or chosen; at most 19 characters of
  // it are taken.
  std::string_view interface_text{};
  std::string_view from_field{};  // address:port of the sources to store
  std::string_view to_field{};    // address:port of the destinations to store
  bool both_traffic = false;      // also store the opposite direction
  ProtocolSwitches protocols{};
  // The four interface address texts (slots 1 to 4; any may be empty) that
  // the interface text is compared with to choose the bind address.
  std::array<std::string_view, 4> interface_addresses{};
  // The session ends by itself (CaptureEnd::kLimitReached) once this many
  // datagrams are stored; values above kPacketLimit, and 0, mean
  // kPacketLimit.
  uint32_t packet_limit = kPacketLimit;
};

enum class StartOutcome {
  kStarted,
  kRefusedCheckFailed,  // the privilege check could not be carried out
  kRefusedNotAllowed,   // the process may not capture
  kThreadFailed,        // the capture thread could not be created
};

// The bind address for an interface text (cut to kInterfaceTextMax): the
// text as an address when it equals "127.0.0.1" or one of the interface
// address texts, kAnyInterface otherwise. Every candidate equal to the text
// is marked, in the order "127.0.0.1", slot 1 to slot 4, and the last
// marked one gives the address.
uint32_t ChooseBindAddress(std::string_view interface_text,
                           const std::array<std::string_view, 4>& interface_addresses);

class CaptureSession {
 public:
  CaptureSession(CaptureStore& store, CaptureView& view, PacketSource& source,
                 PrivilegeCheck& privilege);
  ~CaptureSession();  // ends a running session as end_at_exit does
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // Starts a session. Refused starts leave the stop flag at 0 (no further
  // start is offered until the program restarts). A session that is still
  // running (the dialog disables its start button meanwhile, so only a
  // careless caller gets here) is first ended as end_at_exit ends it.
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
  struct Ending;
  StartOutcome start_capture_thread(uint32_t packet_limit);
  void run_capture_thread();
  Ending receive_until_end();
  void end_capture_thread();
  CaptureStore& store_;
  CaptureView& view_;
  PacketSource& source_;
  PrivilegeCheck& privilege_;
  std::atomic<int> stop_flag_{1};
  uint32_t bind_address_ = kAnyInterface;
  FilterSettings filter_{};
  std::unique_ptr<Impl> impl_;  // the capture thread and its state
};

}  // namespace pw
