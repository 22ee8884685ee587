// Live capture in a network namespace of the test's own, so that traffic of
// other processes on the system's loopback device (a ping of 127.0.0.1, a
// datagram to a local port) never reaches the capture: the test thread
// leaves for a new namespace whose loopback device is up with 127.0.0.1 and
// nothing else, and comes back at the end. Threads that the test starts
// meanwhile (the capture thread, a traffic thread) are born inside it, and
// sockets keep the namespace they were made in. Making a namespace needs
// root (CAP_SYS_ADMIN).
#pragma once

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "linux/may_capture.h"

namespace pw::test {

// The calling thread's own network namespace while the object lives.
class OwnNetworkNamespace {
 public:
  OwnNetworkNamespace() = default;
  ~OwnNetworkNamespace() { leave(); }
  OwnNetworkNamespace(const OwnNetworkNamespace&) = delete;
  OwnNetworkNamespace& operator=(const OwnNetworkNamespace&) = delete;

  // Enters a new namespace and brings its loopback device up; false, with
  // error(), when either fails (the thread is then back where it was).
  bool enter() {
    original_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (original_ < 0) return fail("cannot open the thread's network namespace");
    if (unshare(CLONE_NEWNET) != 0) return fail("unshare(CLONE_NEWNET)");
    entered_ = true;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail("socket");
    const bool up = BringLoopbackUp(fd);
    const int saved = errno;
    close(fd);
    errno = saved;
    return up || fail("cannot bring lo up");
  }

  // Back to the namespace the thread was in before enter().
  void leave() {
    if (entered_) setns(original_, CLONE_NEWNET);
    entered_ = false;
    if (original_ >= 0) close(original_);
    original_ = -1;
  }

  const std::string& error() const { return error_; }

 private:
  static bool BringLoopbackUp(int fd) {
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (ioctl(fd, SIOCGIFFLAGS, &request) != 0) return false;
    request.ifr_flags |= IFF_UP;
    return ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  }

  bool fail(const char* what) {
    error_ = std::string(what) + ": " + std::strerror(errno);
    leave();
    return false;
  }

  int original_ = -1;
  bool entered_ = false;
  std::string error_;
};

// A test that captures live on a loopback device of its own; it skips,
// with a line that says so, where capturing or making a namespace is not
// allowed.
class OwnNetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PW_SKIP_UNLESS_MAY_CAPTURE("live capture on 127.0.0.1");
    if (!network_.enter()) {
      std::printf("SKIP: a network namespace of the test's own needs root (%s)\n",
                  network_.error().c_str());
      GTEST_SKIP() << "a network namespace of the test's own needs root: " << network_.error();
    }
  }
  void TearDown() override { network_.leave(); }

 private:
  OwnNetworkNamespace network_;
};

}  // namespace pw::test
