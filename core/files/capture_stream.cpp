#include "files/capture_stream.h"

#include <chrono>
#include <cstring>
#include <utility>

#include "files/capture_file_writer.h"
#include "files/pcap_format.h"
#include "packet/byte_order.h"

namespace pw {

namespace {

// How long a record may wait in the buffer.
constexpr std::chrono::seconds kWriteInterval{1};

size_t DigitsOf(uint64_t value) {
  size_t digits = 0;
  for (; value != 0; value /= 10) ++digits;
  return digits;
}

// The end of the last whole record among the first `size` bytes of
// `records` (records back to back, each a header and its bytes).
size_t WholeRecords(const uint8_t* records, size_t size) {
  size_t end = 0;
  while (end + kPcapRecordHeaderBytes <= size) {
    const size_t record = kPcapRecordHeaderBytes + Le32(records + end + 8);
    if (record > size - end) break;
    end += record;
  }
  return end;
}

}  // namespace

std::string StreamFileName(const std::string& base, uint32_t ring_files, uint64_t number) {
  const size_t digits = ring_files > 0 ? DigitsOf(ring_files - 1) : 0;
  if (ring_files > 0) number %= ring_files;
  if (number == 0 && digits == 0) return base;
  std::string text = std::to_string(number);
  if (text.size() < digits) text.insert(0, digits - text.size(), '0');
  return base + text;
}

CaptureStream::CaptureStream(StreamFile& file, StreamPlan plan)
    : file_(file), plan_(std::move(plan)), buffer_(std::make_unique_for_overwrite<uint8_t[]>(kBufferBytes)) {}

CaptureStream::~CaptureStream() { end(); }

// A stream may be begun again after its end, for the next session.
bool CaptureStream::begin() {
  end();
  std::lock_guard<std::mutex> lock(lock_);
  buffered_ = 0;
  failed_ = false;
  error_.clear();
  error_number_ = 0;
  ending_ = false;
  dirty_ = false;
  written_.store(0, std::memory_order_relaxed);
  if (!open_file(0)) return false;
  timer_ = std::thread([this] { run_timer(); });
  return true;
}

// Under lock_. The file header is written at once, so that even a stream
// that gets no datagram leaves a file that other tools open.
bool CaptureStream::open_file(uint64_t number) {
  file_number_ = number;
  current_ = StreamFileName(plan_.path, plan_.ring_files, number);
  if (!file_.open(current_)) return fail(file_.error(), file_.error_number());
  open_ = true;
  file_bytes_ = 0;
  uint8_t header[kPcapFileHeaderBytes];
  PutPcapFileHeader(header);
  if (file_.write(header, sizeof header) != sizeof header) {
    file_.truncate(0);
    return fail(file_.error(), file_.error_number());
  }
  file_bytes_ = sizeof header;
  return true;
}

// Under lock_: the current file is written out and closed, and the next
// one begun.
bool CaptureStream::next_file() {
  if (!write_buffer()) return false;
  open_ = false;
  if (!file_.close()) return fail(file_.error(), file_.error_number());
  return open_file(file_number_ + 1);
}

// Under lock_. A write that failed in part leaves the file with the whole
// records before it.
bool CaptureStream::write_buffer() {
  dirty_ = false;
  if (buffered_ == 0) return true;
  const size_t done = file_.write(buffer_.get(), buffered_);
  if (done == buffered_) {
    file_bytes_ += done;
    buffered_ = 0;
    return true;
  }
  const std::string why = file_.error();
  const int number = file_.error_number();
  const size_t whole = WholeRecords(buffer_.get(), done);
  if (whole != done) file_.truncate(file_bytes_ + whole);
  file_bytes_ += whole;
  buffered_ = 0;
  return fail(why, number);
}

bool CaptureStream::fail(const std::string& reason, int number) {
  if (!failed_) {
    failed_ = true;
    error_ = current_ + ": " + (reason.empty() ? "cannot write" : reason);
    error_number_ = number;
  }
  return false;
}

bool CaptureStream::append(const uint8_t* bytes, uint32_t length, uint32_t original,
                           CaptureTime time) {
  uint8_t header[kPcapRecordHeaderBytes];
  const uint32_t captured = PutPcapRecordHeader(header, length, original, time);
  const size_t record = sizeof header + captured;
  std::lock_guard<std::mutex> lock(lock_);
  if (failed_ || !open_) return false;
  // A record that would take the file past its limit begins the next one,
  // unless the file holds no record yet.
  const uint64_t in_file = file_bytes_ + buffered_;
  if (plan_.file_limit > 0 && in_file > kPcapFileHeaderBytes &&
      in_file + record > plan_.file_limit && !next_file()) {
    return false;
  }
  // A record is at most the snapshot length and its header, which the
  // buffer holds many times over.
  if (record > kBufferBytes - buffered_ && !write_buffer()) return false;
  std::memcpy(buffer_.get() + buffered_, header, sizeof header);
  std::memcpy(buffer_.get() + buffered_ + sizeof header, bytes, captured);
  buffered_ += record;
  if (!dirty_) {
    dirty_ = true;
    timer_wake_.notify_one();
  }
  written_.fetch_add(1, std::memory_order_relaxed);
  return true;
}

bool CaptureStream::end() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    ending_ = true;
  }
  timer_wake_.notify_one();
  if (timer_.joinable()) timer_.join();
  std::lock_guard<std::mutex> lock(lock_);
  if (!open_) return !failed_;
  open_ = false;
  bool ok = !failed_ && write_buffer();
  if (ok && !file_.sync()) ok = fail(file_.error(), file_.error_number());
  if (!file_.close() && ok) ok = fail(file_.error(), file_.error_number());
  return ok && !failed_;
}

void CaptureStream::run_timer() {
  std::unique_lock<std::mutex> lock(lock_);
  for (;;) {
    timer_wake_.wait(lock, [this] { return dirty_ || ending_; });
    if (ending_) return;
    timer_wake_.wait_for(lock, kWriteInterval, [this] { return ending_; });
    if (ending_) return;
    if (dirty_ && !failed_) write_buffer();
  }
}

}  // namespace pw
