#include "capture/capture_file_source.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace pw {

CaptureFileSource::CaptureFileSource(std::string path) : path_(std::move(path)) {}

CaptureFileSource::~CaptureFileSource() { close(); }

bool CaptureFileSource::open(uint32_t) {
  release();
  error_.clear();
  errno = 0;
  file_ = std::fopen(path_.c_str(), "rb");
  if (file_ == nullptr) {
    error_ = path_ + ": " + (errno != 0 ? std::strerror(errno) : "cannot open");
    return false;
  }
  input_ = std::make_unique<StdioByteInput>(file_);
  if (!reader_.open(*input_)) {
    error_ = path_ + ": " + reader_.error();
    release();
    return false;
  }
  return true;
}

ReceiveStatus CaptureFileSource::receive(uint8_t* buffer, size_t capacity, size_t& length,
                                         CaptureTime& time) {
  if (woken_.exchange(false, std::memory_order_acq_rel)) return ReceiveStatus::kWoken;
  CaptureRecord record;
  switch (reader_.next(buffer, capacity, record)) {
    case ReadOutcome::kDatagram:
      length = record.length;
      time = record.time;
      return ReceiveStatus::kDatagram;
    case ReadOutcome::kEnd:
      return ReceiveStatus::kEnd;
    case ReadOutcome::kFailed:
      break;
  }
  error_ = path_ + ": " + reader_.error();
  return ReceiveStatus::kFailed;
}

void CaptureFileSource::wake() { woken_.store(true, std::memory_order_release); }

void CaptureFileSource::close() {
  release();
  // A wake that came after the session's last receive is not carried over
  // into the next session.
  woken_.store(false, std::memory_order_release);
}

void CaptureFileSource::release() {
  input_.reset();
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

}  // namespace pw
