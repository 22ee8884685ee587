// The order of the interface list: the order of the default choice.
#include "ui/network_interfaces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pw {
namespace {

TEST(InterfaceOrder, AddressedFirstThenLoopbackThenTheRestByIndex) {
  std::vector<NetworkInterface> list = {
      {"none9", 9, false, {}},        {"lo", 1, true, {"127.0.0.1"}},
      {"none3", 3, false, {}},        {"b", 7, false, {"10.0.0.7"}},
      {"a", 2, false, {"10.0.0.2", "10.1.0.2"}}, {"lo-down", 8, true, {}},
  };
  SortByDefaultChoice(list);
  std::vector<std::string> names;
  for (const NetworkInterface& i : list) names.push_back(i.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "lo", "none3", "lo-down", "none9"}));
  // An interface's addresses keep their order: the primary one first.
  EXPECT_EQ(list[0].addresses, (std::vector<std::string>{"10.0.0.2", "10.1.0.2"}));
}

}  // namespace
}  // namespace pw
