// Privilege check: may this process capture all IPv4 traffic?
//
// Windows: is the process token a member of the builtin Administrators
// group. Linux: can the process open a capture socket (root, or an effective
// CAP_NET_RAW). Run on the UI thread by every "go!", before any socket is
// created.
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
