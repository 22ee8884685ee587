#include "cli/terminal.h"

#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "ui/capture_end_text.h"
#include "ui/system_description.h"

namespace pw::cli {

TerminalView::TerminalView(const CaptureStore& store, std::FILE* rows, bool quiet,
                           std::FILE* status, bool row_times)
    : store_(store),
      rows_(rows),
      quiet_(quiet),
      status_(status),
      row_times_(row_times),
      walk_(store) {}

void TerminalView::expect_unstored_rows() {
  if (quiet_ || listing_unstored_) return;
  listing_unstored_ = true;
  pending_ = std::make_unique_for_overwrite<char[]>(kUnstoredBytes);
  taken_ = std::make_unique_for_overwrite<char[]>(kUnstoredBytes);
}

void TerminalView::add_row(std::string_view) {
  // The row is listed: it is the sniff log's next line, which update()
  // prints once the store has published it.
  stored_.fetch_add(1);
  wake_if_armed();
}

// Quiet, the rows are only counted. Otherwise they wait in the buffer for
// update(); a full buffer holds the capture thread until the terminal has
// taken its rows.
void TerminalView::add_unstored_row(std::string_view row, CaptureTime time) {
  if (listing_unstored_) {
    const size_t length = row.size() < 255 ? row.size() : 255;
    const size_t entry = sizeof time + 1 + length;
    std::unique_lock<std::mutex> lock(unstored_lock_);
    unstored_room_.wait(lock, [&] { return kUnstoredBytes - pending_size_ >= entry || stopping_; });
    if (kUnstoredBytes - pending_size_ < entry) return;  // stopping: no longer listed
    char* at = pending_.get() + pending_size_;
    std::memcpy(at, &time, sizeof time);
    at[sizeof time] = static_cast<char>(length);
    std::memcpy(at + sizeof time + 1, row.data(), length);
    pending_size_ += entry;
  }
  unstored_.fetch_add(1);
  wake_if_armed();
}

void TerminalView::wait_for_capture_thread(const std::atomic<bool>&) {
  {
    std::lock_guard<std::mutex> lock(unstored_lock_);
    stopping_ = true;
  }
  unstored_room_.notify_all();
}

void TerminalView::source_opened() {
  opened_.store(true);
  wake_if_armed();
}

void TerminalView::capture_ended(CaptureEnd why, std::string_view detail) {
  why_ = why;
  detail_ = std::string(detail);
  ended_.store(true);
  wake_if_armed();
}

// A plain load first: while the main thread prints a burst's rows, the
// capture thread pays no more than that for each.
void TerminalView::wake_if_armed() {
  if (armed_.load() && armed_.exchange(false) && wake_) wake_();
}

bool TerminalView::arm_wakeup(bool announced) {
  armed_.store(true);
  const bool fresh = listed() != updated_count_ || (opened_.load() && !announced) ||
                     ended_.load();
  if (fresh) armed_.store(false);
  return !fresh;
}

void TerminalView::clear_rows() {
  printed_ = 0;
  updated_count_ = 0;
  walk_.restart();
  stored_.store(0, std::memory_order_relaxed);
  unstored_.store(0, std::memory_order_relaxed);
  std::lock_guard<std::mutex> lock(unstored_lock_);
  pending_size_ = 0;
  stopping_ = false;
  opened_.store(false);
}

void TerminalView::start_refused(StartRefusal) {
  // Standard output carries rows only; the program says on standard error
  // what the capture needs.
}

void TerminalView::start_failed(std::string_view detail) {
  why_ = CaptureEnd::kOpenFailed;
  detail_ = std::string(detail);
}

void TerminalView::clear_status() {
  if (status_ != nullptr && status_shown_) {
    std::fputs("\r\033[K", status_);
    std::fflush(status_);
    status_shown_ = false;
  }
}

// Prints the fresh sniff-log lines as rows, "\n" for "\r\n". A line is
// published after its datagram is stored, so the walk finds each one.
bool TerminalView::print_rows(std::string_view fresh) {
  clear_status();
  errno = 0;
  ForEachSniffLogLine(fresh, [this](std::string_view line) {
    DatagramLocation where{};
    if (row_times_ && walk_.next(where)) std::fputs(RowTimeText(where.time).c_str(), rows_);
    std::fwrite(line.data(), 1, line.size(), rows_);
    std::fputc('\n', rows_);
  });
  if (std::fflush(rows_) == 0 && !std::ferror(rows_)) return true;
  write_error_ = errno != 0 ? errno : EIO;
  return false;
}

// The count is drawn again only when it changed or the line was taken off
// the terminal.
void TerminalView::show_count() {
  const uint32_t count = stored();
  if (status_ == nullptr || (status_shown_ && count == shown_count_)) return;
  std::fprintf(status_, "\r\033[K%u datagram%s stored", count, count == 1 ? "" : "s");
  std::fflush(status_);
  status_shown_ = true;
  shown_count_ = count;
}

// The rows past the store are taken before the sniff log is read: they
// come only after its last line was published, which the log then shows.
bool TerminalView::update() {
  updated_count_ = listed();
  size_t taken = 0;
  {
    std::lock_guard<std::mutex> lock(unstored_lock_);
    if (pending_size_ > 0) {
      std::swap(pending_, taken_);
      taken = pending_size_;
      pending_size_ = 0;
    }
  }
  if (taken > 0) unstored_room_.notify_one();
  const std::string_view log = SniffLogText(store_);
  bool ok = true;
  if (log.size() > printed_) {
    if (!quiet_ && write_error_ == 0) ok = print_rows(log.substr(printed_));
    printed_ = log.size();
  }
  if (taken > 0 && write_error_ == 0) ok = print_unstored(taken_.get(), taken) && ok;
  show_count();
  return ok && write_error_ == 0;
}

bool TerminalView::print_unstored(const char* rows, size_t size) {
  clear_status();
  errno = 0;
  for (size_t at = 0; at < size;) {
    CaptureTime time;
    std::memcpy(&time, rows + at, sizeof time);
    const auto length = static_cast<unsigned char>(rows[at + sizeof time]);
    if (row_times_) std::fputs(RowTimeText(time).c_str(), rows_);
    std::fwrite(rows + at + sizeof time + 1, 1, length, rows_);
    std::fputc('\n', rows_);
    at += sizeof time + 1 + length;
  }
  if (std::fflush(rows_) == 0 && !std::ferror(rows_)) return true;
  write_error_ = errno != 0 ? errno : EIO;
  return false;
}

void TerminalView::say(std::FILE* stream, std::string_view line) {
  clear_status();
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

bool TerminalView::finish() {
  std::FILE* status = status_;
  status_ = nullptr;  // no new status line
  const bool ok = update();
  status_ = status;
  clear_status();
  return ok;
}

namespace {

// The value of PRETTY_NAME in an os-release text, unquoted, without
// backslashes and control characters.
std::string PrettyName(std::string_view os_release) {
  std::string name;
  while (!os_release.empty()) {
    const size_t nl = os_release.find('\n');
    std::string_view line = os_release.substr(0, nl);
    if (line.substr(0, 12) == "PRETTY_NAME=") {
      line.remove_prefix(12);
      if (line.size() >= 2 && (line.front() == '"' || line.front() == '\'') &&
          line.back() == line.front()) {
        line = line.substr(1, line.size() - 2);
      }
      for (char c : line) {
        if (c != '\\' && static_cast<unsigned char>(c) >= 0x20) name += c;
      }
    }
    if (nl == std::string_view::npos) break;
    os_release.remove_prefix(nl + 1);
  }
  return name;
}

}  // namespace

std::string DescribeLinuxSystem(std::string_view os_release, std::string_view kernel,
                                std::string_view release) {
  std::string text = PrettyName(os_release);
  if (!kernel.empty()) {
    if (!text.empty()) text += ", ";
    text += kernel;
    if (!release.empty()) {
      text += ' ';
      text += release;
    }
  }
  if (text.size() > kSystemDescriptionMax) text.resize(kSystemDescriptionMax);
  return text;
}

std::string RowTimeText(CaptureTime time) {
  const auto seconds = static_cast<time_t>(time.seconds);
  std::tm t{};
  if (localtime_r(&seconds, &t) == nullptr) {
    constexpr int64_t kSecondsPerDay = 86400;
    const int64_t of_day = (time.seconds % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
    t.tm_hour = static_cast<int>(of_day / 3600);
    t.tm_min = static_cast<int>(of_day / 60 % 60);
    t.tm_sec = static_cast<int>(of_day % 60);
  }
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%06u", t.tm_hour, t.tm_min, t.tm_sec,
                time.nanoseconds / 1000);
  return text;
}

std::string SummaryText(uint32_t stored, std::optional<uint64_t> kernel_drops,
                        std::optional<uint64_t> written) {
  std::string text;
  if (written) {
    text = WrittenAndStoredText(*written, stored);
  } else {
    text = StoredCountText(stored);
  }
  if (kernel_drops) {
    text += ", " + std::to_string(*kernel_drops) + " dropped by the kernel";
  }
  return text;
}

std::string DetailLines(const std::vector<std::string>& entries, bool for_terminal) {
  std::string text;
  for (const std::string& entry : entries) {
    for (const char c : entry) {
      const auto b = static_cast<unsigned char>(c);
      const bool drives_terminal = (b < 0x20 && b != '\t') || (b >= 0x7F && b <= 0x9F);
      text += for_terminal && drives_terminal ? '.' : c;
    }
    text += '\n';
  }
  return text;
}

std::string OriginText(bool file, std::string_view name, std::string_view link_type,
                       int capture_size) {
  std::string text = file ? "reading from file " : "listening on ";
  text += name;
  text += ", link-type ";
  text += link_type;
  text += ", capture size " + std::to_string(capture_size) + " bytes";
  return text;
}

EndReport DescribeEnd(CaptureEnd why, std::string_view detail, uint32_t count_asked,
                      bool streaming) {
  switch (why) {
    case CaptureEnd::kLimitReached:
      if (streaming) {
        return {"capture ended: " + std::to_string(count_asked) +
                    (count_asked == 1 ? " datagram" : " datagrams") + " written, as -c asked",
                false};
      }
      if (count_asked != 0 && count_asked < kPacketLimit) {
        return {"capture ended: " + StoredCountText(count_asked) + ", as -c asked", false};
      }
      return {EndedByItselfText(why, kPacketLimit), false};
    case CaptureEnd::kPoolFull:
    case CaptureEnd::kSourceEnded:
      return {"capture ended: " + EndReason(why), false};
    case CaptureEnd::kOpenFailed:
      return {"cannot capture: " + std::string(detail), true};
    case CaptureEnd::kSourceFailed:
      return {"capture failed: " + std::string(detail), true};
    case CaptureEnd::kWriteFailed:
      return {"capture failed: cannot write " + std::string(detail), true};
  }
  return {"capture ended", false};
}

std::string StoppedText(std::string_view signal_name) {
  return "capture ended: stopped by " + std::string(signal_name);
}

}  // namespace pw::cli
