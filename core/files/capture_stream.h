// A capture written to a pcap file as it runs: the streaming writer that a
// session hands every accepted datagram to, for a capture that runs as long
// as the user wants (past the store's limits), into one file or a ring of
// files.
//
// At the start of a session the first file is opened, replacing an older
// one, and gets its file header. Each datagram is appended as a record (its
// capture time, stored and original length, bytes) to a buffer that is
// written whenever it is full, and at the latest one second after its first
// record came in, by a timer of the writer's own: a process that is killed
// loses at most the last second, and its file is a whole pcap up to its
// last whole record. At the end the buffer is written and the file synced.
//
// With a size limit, a new file is begun before a record would take the
// current one past the limit (a record larger than the limit has a file of
// its own); with a ring of N files, the N-th file after the first
// overwrites the first, and so on. The files are named as tcpdump names
// them for -C and -W (StreamFileName).
//
// A write that fails ends the writing with its reason (error()); the file
// keeps every whole record written before it: a record that was written in
// part is cut off again.
//
// The file calls go through a StreamFile, the platform's own (or a test's).
// Threads: begin, append and end on the capture thread; written() and
// error() (after end) on any thread. The timer writes from a thread of its
// own; the buffer is shared under a lock, which the capture thread takes
// once per datagram. Nothing is allocated per datagram.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/capture_time.h"
#include "files/capture_file_writer.h"
#include "files/pcap_format.h"

namespace pw {

// The platform's calls for the files of a stream. Called under the
// stream's lock, from the capture thread or the stream's timer thread.
class StreamFile {
 public:
  virtual ~StreamFile() = default;
  // Opens `path` for writing from its start, replacing an older file of
  // that name (a name that is no regular file, or standard output, is
  // written as it is). False with error().
  virtual bool open(const std::string& path) = 0;
  // Writes `size` bytes; returns how many were written, fewer only when
  // writing failed (error() says why).
  virtual size_t write(const uint8_t* bytes, size_t size) = 0;
  // Cuts the open file back to `size` bytes, after a write that failed in
  // part. False when it cannot be cut (a pipe).
  virtual bool truncate(uint64_t size) = 0;
  // Makes what was written reach the disk. False with error().
  virtual bool sync() = 0;
  // Closes the open file; false with error() when closing reports a
  // failure. Safe when none is open.
  virtual bool close() = 0;
  // Why the last call failed, in a short lower-case text.
  virtual const std::string& error() const = 0;
  // The system's number for that failure (EPIPE: the reader of a pipe has
  // gone), 0 when there is none.
  virtual int error_number() const = 0;
};

// Where a stream goes: the file name, and a limit of each file's size in
// bytes (0: one file, without limit) with a ring of files (0: no ring).
struct StreamPlan {
  std::string path;
  uint64_t file_limit = 0;
  uint32_t ring_files = 0;
};

// The name of file `number` (0 the first) of a stream on `base`: without a
// ring, `base` itself, then base1, base2, ...; with a ring of N files,
// `base` followed by number % N with as many digits as N - 1 has (none for
// a ring of one file: `base`).
std::string StreamFileName(const std::string& base, uint32_t ring_files, uint64_t number);

class CaptureStream {
 public:
  // The buffer's size: a burst's small records are written in blocks of
  // this many bytes; the largest record fits several times.
  static constexpr size_t kBufferBytes = 256 * 1024;
  static_assert(kBufferBytes > 2 * (kPcapSnapshotLength + kPcapRecordHeaderBytes));

  CaptureStream(StreamFile& file, StreamPlan plan);
  ~CaptureStream();  // ends the stream as end() does
  CaptureStream(const CaptureStream&) = delete;
  CaptureStream& operator=(const CaptureStream&) = delete;

  // Opens the first file and starts the timer. False with error(). A
  // stream that has ended may be begun again: it starts afresh.
  bool begin();

  // Appends one datagram of `length` stored bytes (of `original` on the
  // wire), captured at `time`. False, with error(), when writing failed:
  // nothing more is written.
  bool append(const uint8_t* bytes, uint32_t length, uint32_t original, CaptureTime time);

  // Stops the timer, writes what is buffered, syncs and closes the file.
  // False with error() when any of that, or an earlier write, failed.
  bool end();

  // Datagrams appended so far (written, or in the buffer until the next
  // write). Any thread.
  uint64_t written() const { return written_.load(std::memory_order_relaxed); }

  // The file being written: the plan's path, or the ring's current name.
  // Capture thread, or any thread after end().
  const std::string& current_file() const { return current_; }

  // Why writing failed: "FILE: reason". Capture thread, or any thread
  // after end().
  const std::string& error() const { return error_; }
  // The file calls' number for it (EPIPE for a closed pipe); 0 when none.
  int error_number() const { return error_number_; }

 private:
  bool open_file(uint64_t number);
  bool next_file();
  bool write_buffer();  // under lock_
  bool fail(const std::string& reason, int number);
  void run_timer();

  StreamFile& file_;
  const StreamPlan plan_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t buffered_ = 0;      // bytes in the buffer, whole records only
  uint64_t file_bytes_ = 0;  // bytes written to the current file
  uint64_t file_number_ = 0;
  std::string current_;
  bool open_ = false;
  bool failed_ = false;
  std::string error_;
  int error_number_ = 0;
  std::atomic<uint64_t> written_{0};

  // The timer: it waits for a first record after a write, then at most a
  // second, and writes the buffer.
  std::mutex lock_;
  std::condition_variable timer_wake_;
  bool dirty_ = false;    // records in the buffer since the last write
  bool ending_ = false;   // end() was called: the timer thread returns
  std::thread timer_;
};

}  // namespace pw
