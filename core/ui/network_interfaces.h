// The system's network interfaces with all their IPv4 and IPv6 addresses,
// as the Linux front end lists them (-D) and chooses its capture device
// (-i).
//
// Order: the order in which addresses are chosen by default. Interfaces
// that carry an IPv4 address come first, other than loopback, by interface
// index (the order `ip link` shows); then loopback; then the interfaces
// without an IPv4 address, by index. Within an interface its addresses
// keep the system's order, primary before secondary. The first address of
// the first interface is the default capture address.
#pragma once

#include <string>
#include <vector>

namespace pw {

struct NetworkInterface {
  std::string name;   // "eth0", "lo"
  unsigned index;     // the system's interface index
  bool loopback;
  std::vector<std::string> addresses;  // IPv4, dotted decimal; may be empty
  // IPv6, as rows write them (FormatIpAddress), in the system's order; they
  // play no part in the order above.
  std::vector<std::string> ipv6_addresses{};
};

// Puts `interfaces` into the order above.
void SortByDefaultChoice(std::vector<NetworkInterface>& interfaces);

}  // namespace pw
