#include "files/capture_file_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "packet/link_layer.h"

namespace pw {

namespace {

// A file read through a stdio stream that the input closes.
class StdioFileInput final : public ByteInput {
 public:
  explicit StdioFileInput(std::FILE* file) : file_(file), input_(file) {}
  ~StdioFileInput() override { std::fclose(file_); }
  StdioFileInput(const StdioFileInput&) = delete;
  StdioFileInput& operator=(const StdioFileInput&) = delete;

  size_t read(uint8_t* buffer, size_t size) override { return input_.read(buffer, size); }
  bool skip(uint64_t size) override { return input_.skip(size); }
  const std::string& error() const override { return input_.error(); }

 private:
  std::FILE* file_;
  StdioByteInput input_;
};

class StdioFileOpener final : public CaptureInputOpener {
 public:
  explicit StdioFileOpener(std::string path) : path_(std::move(path)) {}

  std::unique_ptr<ByteInput> open(std::string& error) override {
    errno = 0;
    std::FILE* file = std::fopen(path_.c_str(), "rb");
    if (file != nullptr) return std::make_unique<StdioFileInput>(file);
    error = errno != 0 ? std::strerror(errno) : "cannot open";
    return nullptr;
  }

 private:
  std::string path_;
};

}  // namespace

CaptureFileSource::CaptureFileSource() : named_by_origin_(true) {}

CaptureFileSource::CaptureFileSource(std::string path)
    : named_by_origin_(false),
      name_(path),
      opener_(std::make_unique<StdioFileOpener>(std::move(path))) {}

CaptureFileSource::CaptureFileSource(std::string name,
                                     std::unique_ptr<CaptureInputOpener> opener)
    : named_by_origin_(false), name_(std::move(name)), opener_(std::move(opener)) {}

CaptureFileSource::~CaptureFileSource() { close(); }

void CaptureFileSource::select_with(RecordSelector* selector) {
  selector_ = selector;
  reader_.select_with(selector);
}

bool CaptureFileSource::open(const CaptureOrigin& origin) {
  release();
  opened_.store(false, std::memory_order_release);
  error_.clear();
  selection_refused_ = false;
  if (named_by_origin_) {
    // wake() leaves this opener alone (a stdio read of a file does not
    // wait), so replacing it here races with no other thread.
    name_ = origin.file;
    opener_ = std::make_unique<StdioFileOpener>(origin.file);
  }
  if (!open_input()) {
    release();
    return false;
  }
  description_ = {true, name_, LinkTypeText(reader_.link_type()),
                  static_cast<int>(reader_.snapshot_length())};
  opened_.store(true, std::memory_order_release);
  return true;
}

// The input, its header, and the selector readied for its link type.
bool CaptureFileSource::open_input() {
  std::string why;
  input_ = opener_->open(why);
  if (!input_) {
    error_ = name_ + ": " + why;
    return false;
  }
  if (!reader_.open(*input_)) {
    error_ = name_ + ": " + reader_.error();
    return false;
  }
  const int link_type = reader_.link_type();
  if (selector_ != nullptr && link_type >= 0 && !selector_->prepare(link_type)) {
    selection_refused_ = true;
    error_ = selector_->error();
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
      original_ = record.original;
      time = record.time;
      return ReceiveStatus::kDatagram;
    case ReadOutcome::kEnd:
      return ReceiveStatus::kEnd;
    case ReadOutcome::kFailed:
      break;
  }
  // A read that a wake cut short is no fault of the file.
  if (woken_.exchange(false, std::memory_order_acq_rel)) return ReceiveStatus::kWoken;
  error_ = name_ + ": " + reader_.error();
  return ReceiveStatus::kFailed;
}

void CaptureFileSource::wake() {
  woken_.store(true, std::memory_order_release);
  if (!named_by_origin_) opener_->wake();
}

void CaptureFileSource::close() {
  release();
  // A wake that came after the session's last receive is not carried over
  // into the next session.
  woken_.store(false, std::memory_order_release);
}

bool CaptureFileSource::describe(SourceDescription& description) const {
  if (!opened_.load(std::memory_order_acquire)) return false;
  description = description_;
  return true;
}

void CaptureFileSource::release() { input_.reset(); }

}  // namespace pw
