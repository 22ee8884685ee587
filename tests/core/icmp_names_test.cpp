#include "decode/icmp_names.h"

#include <gtest/gtest.h>

#include "support/detail_test_helpers.h"

namespace pw {
namespace {

using namespace test;

// ---- ICMP names ------------------------------------------------------------

std::vector<uint8_t> IcmpMessage(uint8_t type, uint8_t code, const std::vector<uint8_t>& rest) {
  return Concat({0x45, 0, 0, 0, 0, 0, 0, 0, 64, kProtoIcmp, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2,
                 type, code, 0, 0, 0, 0, 0, 0},
                rest);
}


TEST(IcmpNames, TypeLineAndCodeLinesForTheFourTypesWithCodeTables) {
  const std::vector<uint8_t> carried = {  // UDP 10.0.0.5:1025 -> 10.0.0.1:53
      0x45, 0, 0, 28, 0, 0, 0, 0, 1, 17, 0, 0, 10, 0, 0, 5, 10, 0, 0, 1, 0x04, 0x01, 0, 53};
  const struct {
    uint8_t type, code;
    Entries lines;
  } cases[] = {
      {8, 0, {"Echo Request (8)"}},
      {0, 0, {"Echo Reply (0)"}},
      {6, 0, {"ICMP Type 6 (6)"}},
      {4, 3, {"Source Quench (4)"}},  // code not examined
      {18, 0, {"Address Mask Reply (18)"}},
      {19, 0, {"UNKNOWN (19)"}},
      {255, 3, {"UNKNOWN (255)"}},
      {3, 3, {"Destination Unreachable (3)", "Port unreachable,", "source 10.0.0.5:1025",
              "destination 10.0.0.1:53"}},
      {3, 4, {"Destination Unreachable (3)", "Fragmentation needed, DF bit set,",
              "source 10.0.0.5:1025", "destination 10.0.0.1:53"}},
      {3, 15, {"Destination Unreachable (3)", "Precedence cutoff in effect,",
               "source 10.0.0.5:1025", "destination 10.0.0.1:53"}},
      {3, 16, {"Destination Unreachable (3)", "incorrect code,", "source 10.0.0.5:1025",
               "destination 10.0.0.1:53"}},
      {5, 1, {"Redirect (5)", "redirect with host"}},
      {5, 3, {"Redirect (5)", "redirect with type-of-service and host"}},
      {5, 4, {"Redirect (5)", "redirect with incorrect code"}},
      {11, 0, {"Time Exceeded (11)", "TTL == 0 with transit"}},
      {11, 1, {"Time Exceeded (11)", "TTL == 0 with reassembly"}},
      {11, 2, {"Time Exceeded (11)", "TTL == 0 with incorrect code"}},
      {12, 0, {"Parameter Problem (12)", "IP header bad"}},
      {12, 1, {"Parameter Problem (12)", "Required option missing"}},
      {12, 2, {"Parameter Problem (12)", "incorrect code"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IcmpLines(IcmpMessage(c.type, c.code, carried)), c.lines)
        << "type " << int{c.type} << " code " << int{c.code};
  }
}

TEST(IcmpNames, CarriedHeaderLengthPlacesThePorts) {
  // A carried header with options (0x46: 24 bytes): the ports follow it.
  std::vector<uint8_t> carried = {0x46, 0, 0, 0, 0, 0, 0, 0, 1, 6, 0, 0,
                                  192, 168, 0, 9, 8, 8, 8, 8, 1, 1, 1, 1, 0xC3, 0x50, 0x01, 0xBB};
  EXPECT_EQ(IcmpLines(IcmpMessage(3, 1, carried)),
            (Entries{"Destination Unreachable (3)", "Host unreachable,",
                     "source 192.168.0.9:50000", "destination 8.8.8.8:443"}));
}

}  // namespace
}  // namespace pw
