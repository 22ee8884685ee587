// Writes a save file so that a failure never leaves a short file behind
// under the chosen name: the bytes go to a temporary file beside it, which
// is flushed to disk and then renamed over the name; every step's result is
// checked, and on any failure the temporary file is removed and a file that
// had the name before is left as it was. prepare() runs before the capture,
// so that an unwritable path is reported before anything is captured;
// commit() after it. A file that is replaced keeps its permissions; one
// that this process may not write is not replaced. A path that names
// something other than a regular file (/dev/null, a pipe, a terminal) is
// written directly, and so is standard output.
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
  // error() when that fails, with the reason: "cannot write PATH: ...".
  bool prepare(const std::string& path);
  // Standard output instead of a named file, called "standard output" in
  // the texts; written directly and never closed.
  bool prepare_standard_output();
  // Writes `bytes` (none: an empty file) and puts the file in place. False
  // and error() when that fails; the temporary file is then removed, and a
  // file that had the name before is left as it was.
  bool commit(std::span<const uint8_t> bytes);
  // Removes the temporary file without touching the named one.
  void abandon();

  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }
  // The errno value of the failure that error() names (EPIPE: the reader
  // of standard output has gone); 0 when there is none.
  int error_number() const { return error_number_; }

 private:
  bool open_directly(bool directory);
  // Sets error() to "cannot write PATH: reason" (keeps it for an empty
  // reason), abandons the file and returns false.
  bool fail(const std::string& reason);
  // fail() with the system's reason for `err`, kept in error_number().
  bool fail(int err);

  std::string path_;
  std::string temporary_;  // empty when writing `path_` directly
  int fd_ = -1;
  bool owns_fd_ = true;  // false for standard output
  std::string error_;
  int error_number_ = 0;
};

}  // namespace pw::cli
