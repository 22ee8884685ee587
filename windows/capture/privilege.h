// The Windows program's privilege check: membership of the process token in
// the builtin Administrators group (privilege.cpp).
#pragma once

#include "engine/privilege.h"

namespace pw {

// One instance for the process.
PrivilegeCheck& SystemPrivilegeCheck();

}  // namespace pw
