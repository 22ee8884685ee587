#include "capture/descriptor_input.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace pw {

namespace {

// Bytes read from the descriptor at a time.
constexpr size_t kBufferBytes = 65536;
// A skip at least this long is a seek where the descriptor can seek.
constexpr uint64_t kSeekAtLeast = 16384;

std::string Reason(const char* doing, int err) {
  return std::string(doing) + ": " + std::strerror(err);
}

class DescriptorInput final : public ByteInput {
 public:
  DescriptorInput(int fd, bool owned, int wake_fd)
      : fd_(fd), owned_(owned), wake_fd_(wake_fd), buffer_(new uint8_t[kBufferBytes]) {}
  ~DescriptorInput() override {
    if (owned_) ::close(fd_);
  }
  DescriptorInput(const DescriptorInput&) = delete;
  DescriptorInput& operator=(const DescriptorInput&) = delete;

  size_t read(uint8_t* buffer, size_t size) override;
  bool skip(uint64_t size) override;
  const std::string& error() const override { return error_; }

 private:
  bool fill();

  const int fd_;
  const bool owned_;
  const int wake_fd_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t begin_ = 0;  // the buffered bytes not yet handed out
  size_t end_ = 0;
  bool ended_ = false;
  bool seekable_ = true;
  std::string error_;
};

size_t DescriptorInput::read(uint8_t* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    if (begin_ == end_ && !fill()) break;
    const size_t n = std::min(size - done, end_ - begin_);
    std::memcpy(buffer + done, buffer_.get() + begin_, n);
    begin_ += n;
    done += n;
  }
  return done;
}

// Refills the empty buffer, waiting for bytes or a wake-up. False at the
// end of the input, when reading failed, or when a wake-up came.
bool DescriptorInput::fill() {
  if (ended_ || !error_.empty()) return false;
  begin_ = end_ = 0;
  for (;;) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      error_ = Reason("cannot wait for the file", errno);
      return false;
    }
    if (fds[1].revents & POLLIN) {
      error_ = "the reading was stopped";
      return false;
    }
    const ssize_t n = ::read(fd_, buffer_.get(), kBufferBytes);
    if (n > 0) {
      end_ = static_cast<size_t>(n);
      return true;
    }
    if (n == 0) {
      ended_ = true;
      return false;
    }
    if (errno != EINTR && errno != EAGAIN) {
      error_ = Reason("cannot read", errno);
      return false;
    }
  }
}

// Passes over the buffered bytes first, then seeks over a long rest, or
// reads it where the descriptor cannot seek (a pipe).
bool DescriptorInput::skip(uint64_t size) {
  const size_t buffered = static_cast<size_t>(std::min<uint64_t>(size, end_ - begin_));
  begin_ += buffered;
  size -= buffered;
  if (size >= kSeekAtLeast && seekable_) {
    if (lseek(fd_, static_cast<off_t>(size), SEEK_CUR) >= 0) return true;
    seekable_ = false;
  }
  return size == 0 || ByteInput::skip(size);
}

}  // namespace

DescriptorInputOpener::DescriptorInputOpener(std::string path)
    : path_(std::move(path)), wake_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

DescriptorInputOpener::~DescriptorInputOpener() {
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

std::unique_ptr<ByteInput> DescriptorInputOpener::open(std::string& error) {
  if (wake_fd_ < 0) {
    error = "eventfd: cannot create the wake-up descriptor";
    return nullptr;
  }
  eventfd_t count = 0;
  eventfd_read(wake_fd_, &count);  // an earlier wake-up is forgotten
  if (path_ == "-") return std::make_unique<DescriptorInput>(STDIN_FILENO, false, wake_fd_);
  // Opened without waiting for a FIFO's writer; the reads wait in poll.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    error = Reason("fcntl", errno);
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<DescriptorInput>(fd, true, wake_fd_);
}

void DescriptorInputOpener::wake() {
  if (wake_fd_ >= 0) eventfd_write(wake_fd_, 1);
}

}  // namespace pw
