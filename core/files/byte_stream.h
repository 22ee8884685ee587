// Where the bytes of a capture file come from (ByteInput) and where they go
// (ByteSink). The capture-file reader and writer know only these two; the
// implementations here cover an in-memory buffer (tests, fuzzing, a save
// assembled in memory) and a C stdio stream, which both systems have. A
// caller may add its own (a Windows file handle, a descriptor).
//
// Threads: an input or a sink is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace pw {

class ByteInput {
 public:
  virtual ~ByteInput() = default;

  // Copies up to `size` next bytes into `buffer` and returns how many. Fewer
  // than `size` only at the end of the input or when reading failed; error()
  // tells the two apart.
  virtual size_t read(uint8_t* buffer, size_t size) = 0;

  // Passes over the next `size` bytes. False when the input is known to end
  // or fail before them. An input that cannot tell (a file positioned past
  // its end) may return true; its next read then comes up short. This one
  // reads the bytes and drops them.
  virtual bool skip(uint64_t size);

  // Why reading failed, in a short lower-case text; empty while nothing
  // failed (also at the mere end of the input).
  virtual const std::string& error() const = 0;
};

// Reads from bytes that the caller keeps alive and unchanged meanwhile.
class MemoryByteInput final : public ByteInput {
 public:
  explicit MemoryByteInput(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t read(uint8_t* buffer, size_t size) override;
  bool skip(uint64_t size) override;
  const std::string& error() const override { return error_; }

 private:
  std::span<const uint8_t> bytes_;
  size_t next_ = 0;
  std::string error_;  // always empty: memory does not fail
};

// Reads from a stdio stream opened for binary reading; the caller opens and
// closes it. Skips a long stretch by seeking, a short one (and any, where
// the stream cannot seek: a pipe) by reading.
class StdioByteInput final : public ByteInput {
 public:
  explicit StdioByteInput(std::FILE* file) : file_(file) {}

  size_t read(uint8_t* buffer, size_t size) override;
  bool skip(uint64_t size) override;
  const std::string& error() const override { return error_; }

 private:
  std::FILE* file_;
  bool seekable_ = true;
  std::string error_;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;

  // Appends `size` bytes. False when they could not all be written; error()
  // says why, and the sink's content is then incomplete.
  virtual bool write(const uint8_t* bytes, size_t size) = 0;

  // Hands everything written so far on (a stream's buffer to the system).
  // False when that failed, or an earlier write did.
  virtual bool flush() = 0;

  // Why writing failed, in a short lower-case text; empty while nothing
  // failed.
  virtual const std::string& error() const = 0;
};

// Collects the bytes in memory.
class MemoryByteSink final : public ByteSink {
 public:
  bool write(const uint8_t* bytes, size_t size) override;
  bool flush() override { return true; }
  const std::string& error() const override { return error_; }

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  // Room for `size` bytes in all, so that writing that many does not
  // allocate again.
  void reserve(size_t size) { bytes_.reserve(size); }

 private:
  std::vector<uint8_t> bytes_;
  std::string error_;  // always empty
};

// Writes to a stdio stream opened for binary writing; the caller opens and
// closes it (and checks that fclose succeeds: that is when some systems
// report a full disk).
class StdioByteSink final : public ByteSink {
 public:
  explicit StdioByteSink(std::FILE* file) : file_(file) {}

  bool write(const uint8_t* bytes, size_t size) override;
  bool flush() override;
  const std::string& error() const override { return error_; }

 private:
  std::FILE* file_;
  std::string error_;
};

}  // namespace pw
