// The terminal side of `pebblewire`: the capture view that the session
// talks to, and the texts the program prints. Portable (stdio and the C
// library's local time only).
//
// Rows are printed by the main thread, not by the capture thread: the rows
// of the list are exactly the sniff log's lines, so update() prints the
// lines published since its last call, with "\n" for "\r\n". The capture
// thread never waits for the terminal, and a burst is not lost to a slow
// one. Rows of datagrams that a capture into a file goes on with past the
// store's limits come through a buffer of their own (1 MiB), which the
// capture thread waits on only while it is full of rows the terminal has
// not taken yet. The main thread sleeps while nothing happens: before it waits it
// arms the view (arm_wakeup), and the next row, the source's opening or the
// session's end calls the wake-up it was given, once. With row times, each row is printed after the capture time of its
// datagram (in the row's empty first field); the sniff log itself is not
// changed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <cstdio>
#include <optional>
#include <string>
#include <functional>
#include <string_view>
#include <vector>

#include "engine/capture_store.h"
#include "engine/capture_view.h"

namespace pw::cli {

class TerminalView final : public CaptureView {
 public:
  // `rows`: where rows go (stdout), unless `quiet`. `status`: where the live
  // count goes (stderr), or null for none (not a terminal). `row_times`:
  // each row after RowTimeText of its datagram's time.
  TerminalView(const CaptureStore& store, std::FILE* rows, bool quiet,
               std::FILE* status, bool row_times = false);

  // Capture thread.
  void add_row(std::string_view row) override;
  void add_unstored_row(std::string_view row, CaptureTime time) override;
  void source_opened() override;
  void capture_ended(CaptureEnd why, std::string_view detail) override;
  // Main thread.
  void clear_rows() override;
  void start_refused(StartRefusal why) override;
  void start_failed(std::string_view detail) override;
  void capture_started() override {}
  void capture_stopped() override {}
  // Main thread, as the session is stopped: a capture thread that waits
  // for room for its rows goes on without them.
  void wait_for_capture_thread(const std::atomic<bool>& finished) override;

  // Main thread, before a session that streams into a file starts: rows
  // past the store will come (add_unstored_row), and the view makes room
  // for them. Without it they are only counted.
  void expect_unstored_rows();

  // Main thread, before the session starts: what an armed view calls (on
  // the capture thread) when there is something new to show. It must not
  // block.
  void set_wakeup(std::function<void()> wake) { wake_ = std::move(wake); }

  // Main thread, before it waits: false when there is something to show
  // already (rows not yet printed, an opening the main thread has not
  // `announced`, an end), so that it must not wait; otherwise true, and the
  // next of them calls the wake-up.
  bool arm_wakeup(bool announced);

  // Main thread: prints the rows stored since the last call and redraws the
  // live count when it changed. Returns false when the rows could not be
  // written (a closed pipe, a full disk); write_error() then says why.
  bool update();
  // Main thread, after the session has ended: prints the last rows and
  // removes the live count from the terminal.
  bool finish();

  // Main thread: writes `line` and a newline to `stream` (standard error),
  // after taking the live count off the terminal.
  void say(std::FILE* stream, std::string_view line);

  // True once the source is open (source_opened). Any thread.
  bool opened() const { return opened_.load(); }
  // True once the session ended by itself (capture_ended). Any thread.
  bool ended() const { return ended_.load(std::memory_order_acquire); }
  // Valid once ended() is true.
  CaptureEnd end_reason() const { return why_; }
  const std::string& end_detail() const { return detail_; }
  // Datagrams stored in this session so far. Any thread.
  uint32_t stored() const { return stored_.load(std::memory_order_relaxed); }
  // Rows listed in this session so far, those past the store included.
  // Any thread.
  uint64_t listed() const { return stored() + unstored_.load(std::memory_order_relaxed); }
  // The errno value of the failed write of rows (EPIPE: the reader of a
  // pipe is gone), 0 when none failed. Main thread.
  int write_error() const { return write_error_; }

 private:
  void clear_status();
  bool print_rows(std::string_view fresh);
  bool print_unstored(const char* rows, size_t size);
  void show_count();
  void wake_if_armed();

  const CaptureStore& store_;
  std::FILE* rows_;
  bool quiet_;
  std::FILE* status_;
  bool row_times_;
  DatagramWalk walk_;          // the datagram of the next row printed
  size_t printed_ = 0;         // sniff-log bytes already printed
  uint32_t shown_count_ = 0;   // the count on the status line
  bool status_shown_ = false;
  int write_error_ = 0;
  uint64_t updated_count_ = 0;  // listed() at the last update
  std::function<void()> wake_;
  // The wake-up is due at the next event. Sequentially consistent with the
  // events' own flags, so that an event and an arming never miss each other.
  std::atomic<bool> armed_{false};
  std::atomic<uint32_t> stored_{0};
  std::atomic<uint64_t> unstored_{0};
  // The rows past the store: each its capture time, its length (one byte)
  // and its text, back to back; `taken_` is what update() prints.
  static constexpr size_t kUnstoredBytes = 1 << 20;
  bool listing_unstored_ = false;  // set before the session: the buffers exist
  std::mutex unstored_lock_;
  std::condition_variable unstored_room_;
  std::unique_ptr<char[]> pending_;
  size_t pending_size_ = 0;
  bool stopping_ = false;  // the session is being stopped: nothing waits for room
  std::unique_ptr<char[]> taken_;
  std::atomic<bool> opened_{false};
  std::atomic<bool> ended_{false};
  CaptureEnd why_ = CaptureEnd::kSourceEnded;
  std::string detail_;
};

// The system's name and version, at most kSystemDescriptionMax characters.
// `os_release` is the text of /etc/os-release (its PRETTY_NAME names the
// distribution; may be empty), `kernel` and `release` the kernel's name and
// release ("Linux", "6.1.0-18-amd64").
std::string DescribeLinuxSystem(std::string_view os_release, std::string_view kernel,
                                std::string_view release);

// What a capture reads from, once it is open: "listening on lo, link-type
// EN10MB (Ethernet), capture size 65535 bytes", or for a file "reading from
// file NAME, ...". `link_type` is the link type's name and description.
std::string OriginText(bool file, std::string_view name, std::string_view link_type,
                       int capture_size);

// A row's time as --time prints it before the row: the local time of day,
// to the microsecond (the nanoseconds are cut): "13:05:09.000123". A row
// starts with a tab, so the time takes the row's empty first field. A time
// beyond what the C library converts gives its time of day in UTC.
std::string RowTimeText(CaptureTime time);

// "3 datagrams stored", for a capture into a file "25000 datagrams
// written, 10000 stored", and for a live capture ", 0 dropped by the
// kernel".
std::string SummaryText(uint32_t stored, std::optional<uint64_t> kernel_drops,
                        std::optional<uint64_t> written = std::nullopt);

// What the end of a session tells the user, and whether the exit status
// must be 1. `count_asked` is -c's value (0 when not given); `streaming`:
// the capture went into a file (-w), where the store's limits end nothing.
struct EndReport {
  std::string message;
  bool failed;
};
EndReport DescribeEnd(CaptureEnd why, std::string_view detail, uint32_t count_asked,
                      bool streaming = false);

// The end of a session that a signal stopped: "capture ended: stopped by
// SIGINT".
std::string StoppedText(std::string_view signal_name);

// The lines `-d` prints: each entry of a details report on a line of its
// own, exactly as the details list holds it. For a terminal
// (`for_terminal`), payload bytes that a terminal would act on (control
// characters other than tab, DEL, and the C1 range 0x80 to 0x9F) are shown
// as '.', so that a captured payload cannot drive the terminal; to a file
// or pipe the entries go byte for byte.
std::string DetailLines(const std::vector<std::string>& entries, bool for_terminal);

}  // namespace pw::cli
