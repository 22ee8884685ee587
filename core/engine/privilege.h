// Privilege check: may this process capture all IPv4 traffic?
//
// Each platform tree has its own (windows/capture/privilege.h,
// linux/capture/privilege.h); a front end asks it on the UI thread before
// it starts a session on the network (RightsToRead in capture_origin.h),
// before any socket is created.
#pragma once

namespace pw {

struct PrivilegeResult {
  bool checked;  // the check could be carried out
  bool allowed;  // the process may capture (meaningful when checked)
};

class PrivilegeCheck {
 public:
  virtual PrivilegeResult check() = 0;

 protected:
  ~PrivilegeCheck() = default;
};

}  // namespace pw
