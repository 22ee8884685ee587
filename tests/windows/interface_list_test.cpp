// The system's adapter list through the IP helper.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "capture/interface_list.h"

namespace pw {
namespace {

TEST(InterfaceList, SystemAdaptersGiveDottedAddresses) {
  const AdapterQuery query = QuerySystemAdapters();
  EXPECT_TRUE(query.listed || query.no_adapters);
  for (const std::string& address : query.first_addresses) {
    unsigned a, b, c, e;
    char tail;
    EXPECT_EQ(std::sscanf(address.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &e, &tail), 4) << address;
  }
  const InterfaceSlots slots = FillInterfaceSlots(query);
  EXPECT_FALSE(slots[0].empty()) << "slot 1 is filled whenever the query works";
}

}  // namespace
}  // namespace pw
