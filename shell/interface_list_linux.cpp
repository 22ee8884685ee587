// The system's adapters on Linux: one entry per network interface other
// than loopback, with the first IPv4 address the kernel lists for it, or
// "0.0.0.0" when it has none (as the Windows adapter query reports an
// adapter without an address).
//
// Order: interfaces that carry an IPv4 address first, then those without,
// each group by interface index (the order `ip link` shows). The index
// order is stable from run to run; putting the addressed interfaces first
// makes the first slot, which the combo shows and the command line uses by
// default, a usable address rather than that of a dormant virtual device
// that happens to have a lower index.
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "shell/interface_slots.h"

namespace pw {

namespace {

struct Interface {
  std::string name;
  unsigned index;
  std::string address;  // first IPv4 address, empty when none
};

// An address label ("eth0:1") names the interface before the colon.
std::string InterfaceName(const char* label) {
  const char* colon = std::strchr(label, ':');
  return colon ? std::string(label, colon) : std::string(label);
}

}  // namespace

AdapterQuery QuerySystemAdapters() {
  AdapterQuery query;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return query;  // nothing could be read
  std::vector<Interface> interfaces;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_name == nullptr || (a->ifa_flags & IFF_LOOPBACK)) continue;
    const std::string name = InterfaceName(a->ifa_name);
    auto it = std::find_if(interfaces.begin(), interfaces.end(),
                           [&](const Interface& i) { return i.name == name; });
    if (it == interfaces.end()) {
      interfaces.push_back({name, if_nametoindex(name.c_str()), {}});
      it = interfaces.end() - 1;
    }
    if (it->address.empty() && a->ifa_addr != nullptr &&
        a->ifa_addr->sa_family == AF_INET) {
      sockaddr_in in{};
      std::memcpy(&in, a->ifa_addr, sizeof in);
      char text[INET_ADDRSTRLEN] = {};
      if (inet_ntop(AF_INET, &in.sin_addr, text, sizeof text) != nullptr) {
        it->address = text;
      }
    }
  }
  freeifaddrs(list);

  std::stable_sort(interfaces.begin(), interfaces.end(),
                   [](const Interface& a, const Interface& b) {
                     if (a.address.empty() != b.address.empty()) return b.address.empty();
                     return a.index < b.index;
                   });
  if (interfaces.empty()) {
    query.no_adapters = true;
    return query;
  }
  query.listed = true;
  for (const Interface& i : interfaces) {
    query.first_addresses.push_back(i.address.empty() ? "0.0.0.0" : i.address);
  }
  return query;
}

}  // namespace pw
