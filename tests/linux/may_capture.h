// Whether this process may open a capture device (root or CAP_NET_RAW),
// and the skip that tests needing it print when it may not.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>

#include "capture/privilege.h"

namespace pw::test {

inline bool MayCapture() {
  const PrivilegeResult r = SystemPrivilegeCheck().check();
  return r.checked && r.allowed;
}

}  // namespace pw::test

// Skips the test, with a line that says so, unless capturing is allowed.
// `what` says what needs the right.
#define PW_SKIP_UNLESS_MAY_CAPTURE(what)                                   \
  if (!::pw::test::MayCapture()) {                                         \
    std::printf("SKIP: %s needs root or CAP_NET_RAW\n", what);            \
    GTEST_SKIP() << what << " needs root or CAP_NET_RAW";                  \
  }
