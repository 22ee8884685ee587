// Capture-file input from a file descriptor (Linux): a file by its path, or
// standard input for the name "-". Every read that has to wait for bytes
// (a pipe, a FIFO, a terminal) waits in poll together with a wake-up
// descriptor, so that wake() ends the wait at once: the read then comes up
// short, and the input's error() says that the reading was stopped. A FIFO
// is opened without waiting for a writer; the first read waits for one
// instead, where a wake-up can end it too.
//
// Standard input is not closed, and a second open reads on from where the
// first stopped; a named file is opened afresh each time.
//
// Threads: open and the inputs it makes on the capture thread; wake from
// any thread.
#pragma once

#include <memory>
#include <string>

#include "files/capture_file_source.h"

namespace pw {

class DescriptorInputOpener final : public CaptureInputOpener {
 public:
  explicit DescriptorInputOpener(std::string path);
  ~DescriptorInputOpener() override;
  DescriptorInputOpener(const DescriptorInputOpener&) = delete;
  DescriptorInputOpener& operator=(const DescriptorInputOpener&) = delete;

  std::unique_ptr<ByteInput> open(std::string& error) override;
  void wake() override;

 private:
  const std::string path_;
  int wake_fd_ = -1;  // eventfd: wake() writes, a waiting read polls it
};

}  // namespace pw
