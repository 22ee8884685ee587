// The Linux privilege check against the real system: root may capture, a
// process that has become an ordinary user may not.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "capture/privilege.h"

namespace pw {
namespace {

TEST(PrivilegeLinux, RootMayCaptureAnOrdinaryUserMayNot) {
  const PrivilegeResult mine = SystemPrivilegeCheck().check();
  EXPECT_TRUE(mine.checked);
  EXPECT_EQ(mine.allowed, geteuid() == 0);
  if (geteuid() != 0) GTEST_SKIP() << "skipped: dropping to another user needs root";

  // A child that becomes "nobody" loses its capabilities.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(9);
    const PrivilegeResult r = SystemPrivilegeCheck().check();
    _exit(r.checked ? (r.allowed ? 1 : 0) : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "0: checked, not allowed";
}

}  // namespace
}  // namespace pw
