#include "cli/save_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace pw::cli {

namespace {

std::string Reason(int err) { return std::strerror(err); }

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Why no file could be created beside `path`. A directory that exists but
// says "no such file" (/proc, /sys) takes no new files at all.
std::string CreateFailure(const std::string& path, int err) {
  struct stat st {};
  const std::string directory = DirectoryOf(path);
  if (err == ENOENT && stat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    return directory + " does not take new files";
  }
  return Reason(err);
}

// Writes all of `bytes` to `fd`; 0 or the errno of the failed write.
int WriteAll(int fd, std::span<const uint8_t> bytes) {
  const uint8_t* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    p += n;
    left -= static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

bool SaveFile::prepare(const std::string& path) {
  abandon();
  path_ = path;
  error_.clear();
  error_number_ = 0;
  owns_fd_ = true;
  struct stat st {};
  const bool exists = stat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return open_directly(S_ISDIR(st.st_mode));
  // A file that is there is replaced only when it could be written.
  if (exists && access(path.c_str(), W_OK) != 0) return fail(errno);
  temporary_ = path + ".pebblewire-" + std::to_string(getpid());
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    const int err = errno;
    temporary_.clear();
    return fail(CreateFailure(path, err));
  }
  // The new file keeps the old one's permissions: a log readable only by
  // its owner stays so.
  if (exists && fchmod(fd_, st.st_mode & 07777) != 0) return fail(errno);
  return true;
}

bool SaveFile::prepare_standard_output() {
  abandon();
  path_ = "standard output";
  error_.clear();
  error_number_ = 0;
  owns_fd_ = false;
  fd_ = STDOUT_FILENO;
  return true;
}

// Something other than a regular file (a device, a pipe) is written
// directly; a directory is refused.
bool SaveFile::open_directly(bool directory) {
  if (directory) return fail(EISDIR);
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd_ < 0) return fail(errno);
  return true;
}

bool SaveFile::commit(std::span<const uint8_t> bytes) {
  if (fd_ < 0) return fail(error_.empty() ? "not prepared" : "");
  int err = WriteAll(fd_, bytes);
  if (err == 0 && !temporary_.empty() && fsync(fd_) != 0) err = errno;
  if (owns_fd_ && ::close(fd_) != 0 && err == 0 && errno != EINTR) err = errno;
  fd_ = -1;
  if (err == 0 && !temporary_.empty() && std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    err = errno;
  }
  if (err != 0) return fail(err);
  temporary_.clear();
  return true;
}

void SaveFile::abandon() {
  if (fd_ >= 0 && owns_fd_) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

bool SaveFile::fail(const std::string& reason) {
  if (!reason.empty()) error_ = "cannot write " + path_ + ": " + reason;
  abandon();
  return false;
}

bool SaveFile::fail(int err) {
  error_number_ = err;
  return fail(Reason(err));
}

}  // namespace pw::cli
