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

}  // namespace

bool SaveFile::prepare(const std::string& path) {
  abandon();
  path_ = path;
  error_.clear();
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) {
      error_ = "cannot write " + path + ": " + Reason(EISDIR);
      return false;
    }
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) {
      error_ = "cannot write " + path + ": " + Reason(errno);
      return false;
    }
    return true;
  }
  temporary_ = path + ".pebblewire-" + std::to_string(getpid());
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    error_ = "cannot write " + path + ": " + Reason(errno);
    temporary_.clear();
    return false;
  }
  return true;
}

bool SaveFile::commit(std::span<const uint8_t> bytes) {
  if (fd_ < 0) {
    if (error_.empty()) error_ = "cannot write " + path_ + ": not prepared";
    return false;
  }
  const uint8_t* p = bytes.data();
  size_t left = bytes.size();
  int err = 0;
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (err == 0 && !temporary_.empty() && fsync(fd_) != 0) err = errno;
  if (::close(fd_) != 0 && err == 0 && errno != EINTR) err = errno;
  fd_ = -1;
  if (err == 0 && !temporary_.empty() && std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    err = errno;
  }
  if (err != 0) {
    error_ = "cannot write " + path_ + ": " + Reason(err);
    abandon();
    return false;
  }
  temporary_.clear();
  return true;
}

void SaveFile::abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

}  // namespace pw::cli
