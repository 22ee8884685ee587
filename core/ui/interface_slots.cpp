#include "ui/interface_slots.h"

namespace pw {

InterfaceSlots FillInterfaceSlots(const AdapterQuery& query) {
  InterfaceSlots slots;
  if (query.no_adapters) slots[0] = kLoopbackText;
  if (query.listed) {
    for (size_t i = 0; i < slots.size() && i < query.first_addresses.size(); ++i) {
      slots[i] = query.first_addresses[i].substr(0, kInterfaceSlotMax);
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

}  // namespace pw
