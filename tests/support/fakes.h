// Small fakes of the capture seams that many tests share.
#pragma once

#include <string_view>

#include "engine/capture_store.h"
#include "engine/privilege.h"

namespace pw::test {

// A privilege check that answers what the test sets (by default: checked
// and allowed) and counts how often it was asked.
class FakePrivilege final : public PrivilegeCheck {
 public:
  PrivilegeResult result{true, true};
  int calls = 0;
  PrivilegeResult check() override {
    ++calls;
    return result;
  }
};

// Rows that go nowhere: for tests and benchmarks that look at the store.
class DiscardRows final : public RowSink {
 public:
  void add_row(std::string_view) override {}
};

}  // namespace pw::test
