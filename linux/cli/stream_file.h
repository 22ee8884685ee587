// The files of a capture streamed with -w (CaptureStream's file calls on
// Linux): a named file opened for writing from its start, replacing an
// older one with the permissions it had (a new one gets 0644 less the
// umask), or standard output for "-", which is written as it is and never
// closed. Names that are no regular file (/dev/null, a FIFO) are written as
// they are. A write past the process's file size limit fails with EFBIG
// (the program ignores SIGXFSZ), a full disk with ENOSPC.
#pragma once

#include <string>

#include "files/capture_stream.h"

namespace pw::cli {

class DescriptorStreamFile final : public StreamFile {
 public:
  DescriptorStreamFile() = default;
  ~DescriptorStreamFile() override { close(); }
  DescriptorStreamFile(const DescriptorStreamFile&) = delete;
  DescriptorStreamFile& operator=(const DescriptorStreamFile&) = delete;

  // The file at `path` (which is read) is never opened for writing: an
  // open of a name that is it fails, as the series or ring of -C and -W
  // may name it.
  void keep_from(const std::string& path);

  bool open(const std::string& path) override;
  size_t write(const uint8_t* bytes, size_t size) override;
  bool truncate(uint64_t size) override;
  bool sync() override;
  bool close() override;
  const std::string& error() const override { return error_; }
  int error_number() const override { return error_number_; }

 private:
  bool fail(int number);

  int fd_ = -1;
  bool keeping_ = false;  // the identity below is the file being read
  uint64_t kept_device_ = 0;
  uint64_t kept_inode_ = 0;
  bool owns_fd_ = false;  // false for standard output
  std::string error_;
  int error_number_ = 0;
};

// True when the two names name the same regular file (the same device and
// inode), whatever their spelling; false when either cannot be looked at.
// "-" is standard input for the first name and standard output for the
// second.
bool SameFile(const std::string& input, const std::string& output);

}  // namespace pw::cli
