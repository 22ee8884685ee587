#include "ui/interface_slots.h"

namespace pw {

namespace {

uint32_t AddressOf(std::string_view text) {
  uint32_t address = kAddressNone;
  return ParseDottedQuad(text, address) ? address : kAddressNone;
}

}  // namespace

InterfaceSlots FillInterfaceSlots(const AdapterQuery& query) {
  InterfaceSlots slots;
  if (query.no_adapters) slots[0] = kLoopbackText;
  if (query.listed) {
    for (size_t i = 0; i < slots.size() && i < query.first_addresses.size(); ++i) {
      slots[i] = query.first_addresses[i].substr(0, kInterfaceTextMax);
    }
  }
  if (!slots[0].empty() && slots[0][0] == '0' && slots[1].empty()) {
    slots[0] = kLoopbackText;
  }
  return slots;
}

std::vector<std::string> InterfaceComboEntries(const InterfaceSlots& slots) {
  std::vector<std::string> entries{slots[0]};
  for (size_t i = 1; i < slots.size(); ++i) {
    if (!slots[i].empty()) entries.push_back(slots[i]);
  }
  entries.emplace_back(kLoopbackText);
  return entries;
}

uint32_t ChooseBindAddress(std::string_view interface_text, const InterfaceSlots& slots) {
  const std::string_view text = interface_text.substr(0, kInterfaceTextMax);
  uint32_t address = kAnyInterface;
  if (text == kLoopbackText) address = AddressOf(kLoopbackText);
  for (const std::string& slot : slots) {
    if (text == slot) address = AddressOf(slot);
  }
  return address;
}

}  // namespace pw
