// The right to capture all IPv4 traffic on Linux: opening a packet socket
// needs the capability CAP_NET_RAW in the effective set (root has it unless
// it was dropped). The check asks the kernel for the process's capability
// sets; when the kernel refuses to tell, the check was not carried out.
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "capture/privilege.h"

namespace pw {

namespace {

class LinuxPrivilegeCheck final : public PrivilegeCheck {
 public:
  PrivilegeResult check() override {
    __user_cap_header_struct header{};
    header.version = _LINUX_CAPABILITY_VERSION_3;
    header.pid = 0;  // this process
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0) return {false, false};
    const unsigned word = CAP_NET_RAW / 32;
    const unsigned bit = CAP_NET_RAW % 32;
    return {true, (data[word].effective >> bit & 1u) != 0};
  }
};

}  // namespace

PrivilegeCheck& SystemPrivilegeCheck() {
  static LinuxPrivilegeCheck check;
  return check;
}

}  // namespace pw
