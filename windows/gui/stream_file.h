// The file of "capture &into file..." (CaptureStream's file calls on
// Windows): a named file opened for writing from its start, replacing an
// older one; others may read it while it is written. A full disk fails a
// write with its system text ("there is not enough space on the disk").
#pragma once

#include <windows.h>

#include <string>

#include "files/capture_stream.h"

namespace pw {

class WindowsStreamFile final : public StreamFile {
 public:
  WindowsStreamFile() = default;
  ~WindowsStreamFile() override { close(); }
  WindowsStreamFile(const WindowsStreamFile&) = delete;
  WindowsStreamFile& operator=(const WindowsStreamFile&) = delete;

  bool open(const std::string& path) override;
  size_t write(const uint8_t* bytes, size_t size) override;
  bool truncate(uint64_t size) override;
  bool sync() override;
  bool close() override;
  const std::string& error() const override { return error_; }
  int error_number() const override { return error_number_; }

 private:
  bool fail(DWORD code);

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::string error_;
  int error_number_ = 0;
};

// True when both paths name the same existing file (the same volume and
// file index), whatever their spelling; false when either cannot be looked
// at.
bool SameFile(const std::string& first, const std::string& second);

}  // namespace pw
