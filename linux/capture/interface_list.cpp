// The system's network interfaces on Linux, from getifaddrs: one entry per
// interface (an address label such as "eth0:1" names its interface before
// the colon), with every IPv4 address the kernel lists for it, primary
// addresses before secondary ones, and every IPv6 address, written by the
// portable formatter.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "capture/interface_list.h"
#include "packet/ip_address.h"

namespace pw {

namespace {

std::string InterfaceName(const char* label) {
  const char* colon = std::strchr(label, ':');
  return colon ? std::string(label, colon) : std::string(label);
}

NetworkInterface& EntryFor(std::vector<NetworkInterface>& interfaces, const ifaddrs& a) {
  const std::string name = InterfaceName(a.ifa_name);
  auto it = std::find_if(interfaces.begin(), interfaces.end(),
                         [&](const NetworkInterface& i) { return i.name == name; });
  if (it != interfaces.end()) return *it;
  return interfaces.emplace_back(NetworkInterface{
      name, if_nametoindex(name.c_str()), (a.ifa_flags & IFF_LOOPBACK) != 0, {}});
}

void AddIpv4Address(NetworkInterface& entry, const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) return;
  sockaddr_in in{};
  std::memcpy(&in, address, sizeof in);
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &in.sin_addr, text, sizeof text) == nullptr) return;
  if (std::find(entry.addresses.begin(), entry.addresses.end(), text) == entry.addresses.end()) {
    entry.addresses.emplace_back(text);
  }
}

void AddIpv6Address(NetworkInterface& entry, const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET6) return;
  sockaddr_in6 in6{};
  std::memcpy(&in6, address, sizeof in6);
  const std::string text(FormatIpAddress(Ipv6FromBytes(in6.sin6_addr.s6_addr)).view());
  std::vector<std::string>& list = entry.ipv6_addresses;
  if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(text);
}

}  // namespace

std::vector<NetworkInterface> ListNetworkInterfaces() {
  std::vector<NetworkInterface> interfaces;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return interfaces;
  for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_name == nullptr) continue;
    NetworkInterface& entry = EntryFor(interfaces, *a);
    AddIpv4Address(entry, a->ifa_addr);
    AddIpv6Address(entry, a->ifa_addr);
  }
  freeifaddrs(list);
  SortByDefaultChoice(interfaces);
  return interfaces;
}

}  // namespace pw
