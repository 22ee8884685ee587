#include "files/byte_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pw {

namespace {

// The text of the system's last error, after what was being done.
std::string SystemError(const char* doing) {
  const int err = errno;
  std::string text = doing;
  if (err != 0) {
    text += ": ";
    text += std::strerror(err);
  }
  return text;
}

}  // namespace

bool ByteInput::skip(uint64_t size) {
  uint8_t scratch[4096];
  while (size > 0) {
    const size_t step = static_cast<size_t>(std::min<uint64_t>(size, sizeof scratch));
    if (read(scratch, step) != step) return false;
    size -= step;
  }
  return true;
}

size_t MemoryByteInput::read(uint8_t* buffer, size_t size) {
  const size_t n = std::min(size, bytes_.size() - next_);
  if (n > 0) std::memcpy(buffer, bytes_.data() + next_, n);
  next_ += n;
  return n;
}

bool MemoryByteInput::skip(uint64_t size) {
  const size_t left = bytes_.size() - next_;
  if (size > left) {
    next_ = bytes_.size();
    return false;
  }
  next_ += static_cast<size_t>(size);
  return true;
}

size_t StdioByteInput::read(uint8_t* buffer, size_t size) {
  errno = 0;
  const size_t n = std::fread(buffer, 1, size, file_);
  if (n < size && std::ferror(file_) && error_.empty()) error_ = SystemError("cannot read");
  return n;
}

bool StdioByteInput::skip(uint64_t size) {
  // A short skip (options, padding) is read through the stream's buffer: a
  // seek would drop the buffer and read it again.
  if (size <= 16384) return ByteInput::skip(size);
  // A long is 32 bits on Windows: seek in steps that fit in one.
  constexpr uint64_t kStep = 1u << 30;
  while (seekable_ && size > 0) {
    const uint64_t step = std::min(size, kStep);
    if (std::fseek(file_, static_cast<long>(step), SEEK_CUR) != 0) {
      seekable_ = false;  // a pipe: read the rest instead
      break;
    }
    size -= step;
  }
  return size == 0 || ByteInput::skip(size);
}

bool MemoryByteSink::write(const uint8_t* bytes, size_t size) {
  bytes_.insert(bytes_.end(), bytes, bytes + size);
  return true;
}

bool StdioByteSink::write(const uint8_t* bytes, size_t size) {
  if (!error_.empty()) return false;
  errno = 0;
  if (std::fwrite(bytes, 1, size, file_) == size) return true;
  error_ = SystemError("cannot write");
  return false;
}

bool StdioByteSink::flush() {
  if (!error_.empty()) return false;
  errno = 0;
  if (std::fflush(file_) == 0 && !std::ferror(file_)) return true;
  error_ = SystemError("cannot write");
  return false;
}

}  // namespace pw
