// The libpcap live source against the real system, without traffic: the
// device a bind address chooses, a device named at construction, and the
// failures of open (an unknown device, a refused expression), each with its
// message. The tests that open a device do so in a network namespace of
// their own, whose loopback device no other process's traffic reaches; they
// need root and skip otherwise.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/pcap_source.h"
#include "linux/own_network.h"

namespace pw {
namespace {

struct SystemInterface {
  std::string name;
  uint32_t address;  // 0: none
};

// Every non-loopback interface with its first IPv4 address.
std::vector<SystemInterface> SystemInterfaces() {
  std::vector<SystemInterface> found;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return found;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_flags & IFF_LOOPBACK) continue;
    std::string name = a->ifa_name;
    name = name.substr(0, name.find(':'));
    SystemInterface* entry = nullptr;
    for (SystemInterface& i : found) {
      if (i.name == name) entry = &i;
    }
    if (entry == nullptr) entry = &found.emplace_back(SystemInterface{name, 0});
    if (entry->address == 0 && a->ifa_addr && a->ifa_addr->sa_family == AF_INET) {
      entry->address = ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
    }
  }
  freeifaddrs(list);
  return found;
}

TEST(CaptureDevice, ChosenByTheBindAddress) {
  EXPECT_EQ(CaptureDeviceFor(0x7F000001), "lo");
  EXPECT_EQ(CaptureDeviceFor(0), "any");
  EXPECT_EQ(CaptureDeviceFor(0xFFFFFFFF), "any");
  EXPECT_EQ(CaptureDeviceFor(0x0A0B0C0D), "any");  // no interface has it
  for (const SystemInterface& i : SystemInterfaces()) {
    if (i.address != 0) {
      EXPECT_EQ(CaptureDeviceFor(i.address), i.name) << i.address;
    }
  }
}

using PcapLiveSourceTest = test::OwnNetworkTest;

TEST_F(PcapLiveSourceTest, ANamedDeviceIsUsedAsItIsAndSaysWhatItCaptures) {
  PcapLiveSource source("udp and port 9");
  SourceDescription origin;
  EXPECT_FALSE(source.describe(origin));
  // The device named, whatever the address says.
  ASSERT_TRUE(source.open({.address = 0x0A000001, .device = "lo"})) << source.error();
  EXPECT_EQ(source.device(), "lo");
  ASSERT_TRUE(source.describe(origin));
  EXPECT_FALSE(origin.file);
  EXPECT_EQ(origin.name, "lo");
  EXPECT_EQ(origin.link_type, "EN10MB (Ethernet)");
  EXPECT_EQ(origin.capture_size, 262144);
  source.wake();
  uint8_t buffer[64];
  size_t length = 0;
  CaptureTime time{};
  EXPECT_EQ(source.receive(buffer, sizeof buffer, length, time), ReceiveStatus::kWoken);
  source.close();
  source.close();  // closing twice is harmless
  EXPECT_TRUE(source.describe(origin)) << "kept after close";
}

TEST_F(PcapLiveSourceTest, OpenFailuresSayWhyOnce) {
  PcapLiveSource missing;
  EXPECT_FALSE(missing.open(DeviceOrigin("pwnosuchdev0")));
  EXPECT_EQ(missing.error().rfind("pwnosuchdev0: ", 0), 0u) << missing.error();
  EXPECT_EQ(missing.error().find("pwnosuchdev0", 1), std::string::npos) << missing.error();
  EXPECT_FALSE(missing.expression_refused());
  SourceDescription origin;
  EXPECT_FALSE(missing.describe(origin));
  missing.close();

  for (const char* bad : {"udp and", "nosuchword", "port 99999", "ether host 1.2.3.4"}) {
    PcapLiveSource refused(bad);
    EXPECT_FALSE(refused.open(DeviceOrigin("lo"))) << bad;
    EXPECT_TRUE(refused.expression_refused()) << bad;
    EXPECT_EQ(refused.error().find("lo: "), std::string::npos) << refused.error();
    EXPECT_FALSE(refused.error().empty()) << bad;
    EXPECT_FALSE(refused.describe(origin));
  }
  // A blank expression is no expression: "ip" alone.
  PcapLiveSource fine("  ");
  EXPECT_TRUE(fine.open(DeviceOrigin("lo"))) << fine.error();
  EXPECT_FALSE(fine.expression_refused());
}

}  // namespace
}  // namespace pw
