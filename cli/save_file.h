// Writes a save file so that a failure never leaves a short file behind
// under the chosen name: the bytes go to a temporary file beside it, which
// is flushed to disk and then renamed over the name. prepare() runs before
// the capture, so that an unwritable path is reported before anything is
// captured; commit() after it. A path that names something other than a
// regular file (/dev/null, a pipe, a terminal) is written directly.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pw::cli {

class SaveFile {
 public:
  SaveFile() = default;
  ~SaveFile() { abandon(); }
  SaveFile(const SaveFile&) = delete;
  SaveFile& operator=(const SaveFile&) = delete;

  // Creates the temporary file (or opens the non-regular file). False and
  // error() when that fails.
  bool prepare(const std::string& path);
  // Writes `bytes` and puts the file in place. False and error() when that
  // fails; the temporary file is then removed, and a file that had the name
  // before is left as it was.
  bool commit(std::span<const uint8_t> bytes);
  // Removes the temporary file without touching the named one.
  void abandon();

  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

 private:
  std::string path_;
  std::string temporary_;  // empty when writing `path_` directly
  int fd_ = -1;
  std::string error_;
};

}  // namespace pw::cli
