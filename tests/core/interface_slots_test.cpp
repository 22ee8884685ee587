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

// The interface text names the capture's address when it equals
// "127.0.0.1" or a slot; the last equal candidate wins, and only the first
// kInterfaceTextMax characters are compared.
TEST(InterfaceSlots, BindAddressFromTheInterfaceText) {
  const InterfaceSlots slots = {"192.168.0.5", "10.1.2.3", "", "172.16.0.1"};
  const InterfaceSlots long_slots = {"127.0.0.1", "", "1234567890123456789", ""};
  struct Case {
    const InterfaceSlots& slots;
    std::string_view text;
    uint32_t address;
  } cases[] = {
      {slots, "127.0.0.1", 0x7F000001},
      {slots, "192.168.0.5", 0xC0A80005},
      {slots, "10.1.2.3", 0x0A010203},
      {slots, "172.16.0.1", 0xAC100001},
      {slots, "10.9.9.9", kAnyInterface},  // typed by the user
      {slots, "192.168.000.5", kAnyInterface},  // compared as text
      {slots, " 127.0.0.1", kAnyInterface},
      {slots, "", kAddressNone},  // equals the empty slot 3: not an address
      {slots, "127.0.0.1           ", kAnyInterface},
      {long_slots, "127.0.0.1", 0x7F000001},
      {long_slots, "1234567890123456789XYZ", kAddressNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseBindAddress(c.text, c.slots), c.address) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace pw
