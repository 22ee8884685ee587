// The command line's interfaces: the -D listing and the capture device that
// -i (or its absence) chooses.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/interfaces.h"

namespace pw::cli {
namespace {

std::vector<NetworkInterface> SomeInterfaces() {
  std::vector<NetworkInterface> list = {
      {"dummy0", 5, false, {}},
      {"lo", 1, true, {"127.0.0.1"}},
      {"veth1", 4, false, {"10.99.0.1", "10.99.1.1"}},
      {"eth0", 2, false, {"192.0.2.2"}},
  };
  SortByDefaultChoice(list);
  return list;
}

TEST(Interfaces, ListedInTheOrderOfTheDefaultChoice) {
  EXPECT_EQ(InterfaceListText(SomeInterfaces()),
            "eth0 192.0.2.2\n"
            "veth1 10.99.0.1 10.99.1.1\n"
            "lo 127.0.0.1\n"
            "dummy0 (no IPv4 address)\n");
}

TEST(Interfaces, TheDeviceIsChosenByNameAddressOrAny) {
  const std::vector<NetworkInterface> list = SomeInterfaces();
  struct Case {
    std::optional<std::string> text;
    std::optional<std::string> device;
  } cases[] = {
      {std::nullopt, "eth0"},  // the first address -D lists
      {"any", "any"},
      {"lo", "lo"},
      {"dummy0", "dummy0"},
      {"127.0.0.1", "lo"},
      {"10.99.0.1", "veth1"},
      {"10.99.1.1", "veth1"},  // a secondary address
      {"192.0.2.2", "eth0"},
      {"foo", std::nullopt},
      {"999.1.1.1", std::nullopt},
      {"10.99.2.1", std::nullopt},
      {"127.0.0.2", std::nullopt},
      {"ANY", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseCaptureDevice(c.text, list), c.device) << c.text.value_or("(none)");
  }
  // Without -i and without any address there is nothing to choose.
  EXPECT_EQ(ChooseCaptureDevice(std::nullopt, {{"dummy0", 5, false, {}}}), std::nullopt);
  EXPECT_EQ(ChooseCaptureDevice(std::nullopt, {}), std::nullopt);
  EXPECT_EQ(ChooseCaptureDevice(std::nullopt, {{"lo", 1, true, {"127.0.0.1"}}}), "lo");
}

}  // namespace
}  // namespace pw::cli
