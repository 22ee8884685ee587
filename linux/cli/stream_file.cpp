#include "cli/stream_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace pw::cli {

namespace {

constexpr char kStandardStream[] = "-";

// The file behind a name, or standard input or output for "-".
bool Identity(const std::string& name, int standard_fd, struct stat& info) {
  if (name == kStandardStream) return fstat(standard_fd, &info) == 0;
  return stat(name.c_str(), &info) == 0;
}

}  // namespace

bool DescriptorStreamFile::fail(int number) {
  error_number_ = number;
  error_ = std::strerror(number);
  return false;
}

void DescriptorStreamFile::keep_from(const std::string& path) {
  struct stat info{};
  keeping_ = stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  kept_device_ = info.st_dev;
  kept_inode_ = info.st_ino;
}

bool DescriptorStreamFile::open(const std::string& path) {
  close();
  error_.clear();
  error_number_ = 0;
  if (path == kStandardStream) {
    fd_ = STDOUT_FILENO;
    owns_fd_ = false;
    return true;
  }
  struct stat info{};
  if (keeping_ && stat(path.c_str(), &info) == 0 && info.st_dev == kept_device_ &&
      info.st_ino == kept_inode_) {
    error_ = "it is the file being read";
    error_number_ = 0;
    return false;
  }
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) return fail(errno);
  owns_fd_ = true;
  return true;
}

size_t DescriptorStreamFile::write(const uint8_t* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fail(n < 0 ? errno : EIO);
      break;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

bool DescriptorStreamFile::truncate(uint64_t size) {
  return ftruncate(fd_, static_cast<off_t>(size)) == 0;
}

// A pipe, a terminal or /dev/null cannot be synced, and needs not be.
bool DescriptorStreamFile::sync() {
  if (fsync(fd_) == 0 || errno == EINVAL || errno == EROFS) return true;
  return fail(errno);
}

// Some file systems report a failed write only when the file is closed.
bool DescriptorStreamFile::close() {
  if (fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  if (!owns_fd_) return true;
  if (::close(fd) == 0 || errno == EINTR) return true;
  return fail(errno);
}

bool SameFile(const std::string& input, const std::string& output) {
  struct stat a{};
  struct stat b{};
  if (!Identity(input, STDIN_FILENO, a) || !Identity(output, STDOUT_FILENO, b)) return false;
  return S_ISREG(a.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace pw::cli
