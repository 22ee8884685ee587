// The Linux front end's privilege check: may this process open a capture
// socket (root, or an effective CAP_NET_RAW) (privilege.cpp).
#pragma once

#include "engine/privilege.h"

namespace pw {

// One instance for the process.
PrivilegeCheck& SystemPrivilegeCheck();

}  // namespace pw
