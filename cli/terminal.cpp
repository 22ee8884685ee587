#include "cli/terminal.h"

namespace pw::cli {

TerminalView::TerminalView(const CaptureStore& store, std::FILE* rows, bool quiet,
                           std::FILE* status)
    : store_(store), rows_(rows), quiet_(quiet), status_(status) {}

void TerminalView::add_row(std::string_view) {
  // The row is listed: it is the sniff log's next line, which update()
  // prints once the store has published it.
  stored_.fetch_add(1, std::memory_order_relaxed);
}

void TerminalView::capture_ended(CaptureEnd why, std::string_view detail) {
  why_ = why;
  detail_ = std::string(detail);
  ended_.store(true, std::memory_order_release);
}

void TerminalView::clear_rows() {
  printed_ = 0;
  stored_.store(0, std::memory_order_relaxed);
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

bool TerminalView::update() {
  const std::string_view log = SniffLogText(store_);
  bool ok = true;
  if (log.size() > printed_) {
    if (!quiet_) {
      clear_status();
      std::string_view fresh = log.substr(printed_);
      while (!fresh.empty()) {
        const size_t cr = fresh.find("\r\n");
        const std::string_view line = fresh.substr(0, cr);
        std::fwrite(line.data(), 1, line.size(), rows_);
        std::fputc('\n', rows_);
        if (cr == std::string_view::npos) break;
        fresh.remove_prefix(cr + 2);
      }
      ok = std::fflush(rows_) == 0 && !std::ferror(rows_);
    }
    printed_ = log.size();
  }
  const uint32_t count = stored();
  if (status_ != nullptr && (!status_shown_ || count != shown_count_)) {
    std::fprintf(status_, "\r\033[K%u datagram%s stored", count, count == 1 ? "" : "s");
    std::fflush(status_);
    status_shown_ = true;
    shown_count_ = count;
  }
  return ok;
}

bool TerminalView::finish() {
  std::FILE* status = status_;
  status_ = nullptr;  // no new status line
  const bool ok = update();
  status_ = status;
  clear_status();
  return ok;
}

std::string SystemDescription(std::string_view os_release, std::string_view kernel,
                              std::string_view release) {
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
  std::string text = name;
  if (!kernel.empty()) {
    if (!text.empty()) text += ", ";
    text += kernel;
    if (!release.empty()) {
      text += ' ';
      text += release;
    }
  }
  if (text.size() > 63) text.resize(63);
  return text;
}

std::string SummaryText(uint32_t stored, std::optional<uint64_t> kernel_drops) {
  std::string text = std::to_string(stored);
  text += stored == 1 ? " datagram stored" : " datagrams stored";
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

std::string EndMessage(CaptureEnd why, std::string_view detail, bool& failed) {
  failed = false;
  switch (why) {
    case CaptureEnd::kLimitReached:
    case CaptureEnd::kSourceEnded:
      return "";
    case CaptureEnd::kPoolFull:
      return "capture ended: the 819200 bytes for datagrams are full";
    case CaptureEnd::kOpenFailed:
      failed = true;
      return "cannot capture: " + std::string(detail);
    case CaptureEnd::kSourceFailed:
      failed = true;
      return "capture failed: " + std::string(detail);
  }
  return "";
}

}  // namespace pw::cli
