#include "ui/interface_slots.h"

#include <gtest/gtest.h>

namespace pw {
namespace {

TEST(InterfaceSlots, SlotRulesAndComboEntries) {
  struct Case {
    const char* name;
    AdapterQuery query;
    InterfaceSlots slots;
    std::vector<std::string> combo;
  } cases[] = {
      {"one adapter", {false, true, {"192.168.0.5"}},
       {"192.168.0.5", "", "", ""}, {"192.168.0.5", "127.0.0.1"}},
      {"no adapters", {true, false, {}},
       {"127.0.0.1", "", "", ""}, {"127.0.0.1", "127.0.0.1"}},
      {"query failed", {false, false, {}}, {"", "", "", ""}, {"", "127.0.0.1"}},
      {"five adapters",
       {false, true, {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"}},
       {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"},
       {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "127.0.0.1"}},
      {"first without address, second connected",
       {false, true, {"0.0.0.0", "192.168.1.7"}},
       {"0.0.0.0", "192.168.1.7", "", ""}, {"0.0.0.0", "192.168.1.7", "127.0.0.1"}},
      {"only adapter without address", {false, true, {"0.0.0.0"}},
       {"127.0.0.1", "", "", ""}, {"127.0.0.1", "127.0.0.1"}},
      {"long text is cut", {false, true, {"123456789012345678901234"}},
       {"1234567890123456789", "", "", ""}, {"1234567890123456789", "127.0.0.1"}},
  };
  for (const Case& c : cases) {
    const InterfaceSlots slots = FillInterfaceSlots(c.query);
    EXPECT_EQ(slots, c.slots) << c.name;
    EXPECT_EQ(InterfaceComboEntries(slots), c.combo) << c.name;
  }
}

}  // namespace
}  // namespace pw
