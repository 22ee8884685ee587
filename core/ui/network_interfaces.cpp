#include "ui/network_interfaces.h"

#include <algorithm>

namespace pw {

namespace {

// 0: addressed, not loopback; 1: addressed loopback; 2: no address.
int ChoiceRank(const NetworkInterface& i) {
  if (i.addresses.empty()) return 2;
  return i.loopback ? 1 : 0;
}

}  // namespace

void SortByDefaultChoice(std::vector<NetworkInterface>& interfaces) {
  std::stable_sort(interfaces.begin(), interfaces.end(),
                   [](const NetworkInterface& a, const NetworkInterface& b) {
                     const int ra = ChoiceRank(a);
                     const int rb = ChoiceRank(b);
                     return ra != rb ? ra < rb : a.index < b.index;
                   });
}

}  // namespace pw
