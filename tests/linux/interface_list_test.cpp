// The Linux interface list against the real system: every interface once,
// with every IPv4 address the system gives it, in the order of the default
// choice. (-D on a machine with a secondary address and an interface
// without one is run in a network namespace by the live tests.)
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "capture/interface_list.h"

namespace pw {
namespace {

// Every interface name with its IPv4 addresses, as the test finds them.
std::map<std::string, std::set<std::string>> SystemAddresses() {
  std::map<std::string, std::set<std::string>> found;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return found;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    std::string name = a->ifa_name;
    std::set<std::string>& addresses = found[name.substr(0, name.find(':'))];
    if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET) {
      char text[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text,
                sizeof text);
      addresses.insert(text);
    }
  }
  freeifaddrs(list);
  return found;
}

TEST(InterfaceListLinux, EveryInterfaceWithAllItsAddresses) {
  const auto system = SystemAddresses();
  const std::vector<NetworkInterface> listed = ListNetworkInterfaces();
  ASSERT_EQ(listed.size(), system.size());
  for (const NetworkInterface& i : listed) {
    ASSERT_EQ(system.count(i.name), 1u) << i.name;
    EXPECT_EQ(std::set<std::string>(i.addresses.begin(), i.addresses.end()), system.at(i.name))
        << i.name;
    EXPECT_EQ(i.addresses.size(), system.at(i.name).size()) << i.name << ": listed once each";
    EXPECT_EQ(i.index, if_nametoindex(i.name.c_str())) << i.name;
    EXPECT_EQ(i.loopback, i.name == "lo") << i.name;
  }
}

// The order rule itself is the core's (network_interfaces_test.cpp): the
// system's list comes in that order, the same from call to call.
TEST(InterfaceListLinux, InTheOrderOfTheDefaultChoice) {
  const auto names = [](const std::vector<NetworkInterface>& list) {
    std::vector<std::string> n;
    for (const NetworkInterface& i : list) n.push_back(i.name);
    return n;
  };
  const std::vector<NetworkInterface> listed = ListNetworkInterfaces();
  std::vector<NetworkInterface> sorted = listed;
  SortByDefaultChoice(sorted);
  EXPECT_EQ(names(listed), names(sorted));
  EXPECT_EQ(names(ListNetworkInterfaces()), names(listed));
}

}  // namespace
}  // namespace pw
