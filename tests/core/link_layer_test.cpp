#include "packet/link_layer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/datagram_builder.h"
#include "support/ipv6_datagram_builder.h"
#include "support/pcap_file.h"

namespace pw {
namespace {

using test::MakeDatagram;

TEST(LinkLayer, FindsTheDatagramBehindEachLinkHeader) {
  const std::vector<uint8_t> ip = MakeDatagram({.protocol = 17, .payload_length = 100});
  struct Case {
    const char* name;
    int link_type;
    std::vector<uint8_t> frame;
    size_t offset;
  } cases[] = {
      {"ethernet", kLinkEthernet, test::EthernetFrame(ip), 14},
      {"ethernet, one vlan tag", kLinkEthernet, test::EthernetFrame(ip, 0x0800, 1), 18},
      {"ethernet, two vlan tags", kLinkEthernet, test::EthernetFrame(ip, 0x0800, 2), 22},
      {"linux cooked", kLinkLinuxSll, test::SllFrame(ip), 16},
      {"linux cooked v2", kLinkLinuxSll2, test::Sll2Frame(ip), 20},
      {"bsd loopback, little-endian", kLinkNull, test::FamilyFrame(ip, {2, 0, 0, 0}), 4},
      {"bsd loopback, big-endian", kLinkNull, test::FamilyFrame(ip, {0, 0, 0, 2}), 4},
      {"openbsd loopback", kLinkLoop, test::FamilyFrame(ip, {0, 0, 0, 2}), 4},
      {"raw", kLinkRaw, ip, 0},
      {"raw, file number", kLinkRawFile, ip, 0},
      {"ipv4", kLinkIpv4, ip, 0},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(IsSupportedLinkType(c.link_type)) << c.name;
    DatagramSpan span{};
    ASSERT_TRUE(FindIpDatagram(c.link_type, c.frame.data(), c.frame.size(), span)) << c.name;
    EXPECT_EQ(span.offset, c.offset) << c.name;
    EXPECT_EQ(span.length, ip.size()) << c.name;
  }
}

TEST(LinkLayer, SkipsFramesWithoutIp) {
  const std::vector<uint8_t> ip = MakeDatagram({.protocol = 6});
  const std::vector<uint8_t> ipv6 = test::MakeIpv6Datagram({.protocol = 6});
  std::vector<uint8_t> three_tags = test::EthernetFrame(ip, 0x0800, 3);
  struct Case {
    const char* name;
    int link_type;
    std::vector<uint8_t> frame;
  } cases[] = {
      {"arp", kLinkEthernet, test::EthernetFrame(ip, 0x0806)},
      {"ipv6 announced as ipv4", kLinkEthernet, test::EthernetFrame(ipv6, 0x0800)},
      {"ipv4 announced as ipv6", kLinkEthernet, test::EthernetFrame(ip, 0x86DD)},
      {"three vlan tags", kLinkEthernet, three_tags},
      {"ethernet cut in its header", kLinkEthernet, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 8}},
      {"ethernet header only", kLinkEthernet, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 8, 0}},
      {"cooked ipv4 announced as ipv6", kLinkLinuxSll, test::SllFrame(ip, 0x86DD)},
      {"cooked v2 cut short", kLinkLinuxSll2, {8, 0, 0}},
      {"bsd loopback family 10", kLinkNull, test::FamilyFrame(ipv6, {10, 0, 0, 0})},
      {"raw ipv4 link with ipv6", kLinkIpv4, ipv6},
      {"raw version 5", kLinkRaw, std::vector<uint8_t>(40, 0x50)},
      {"raw empty", kLinkRaw, {}},
      {"ieee 802.11", 105, test::EthernetFrame(ip)},
  };
  for (const Case& c : cases) {
    DatagramSpan span{};
    EXPECT_FALSE(FindIpDatagram(c.link_type, c.frame.data(), c.frame.size(), span))
        << c.name;
  }
  EXPECT_FALSE(IsSupportedLinkType(105));
}

TEST(LinkLayer, FindsIpv6OnEveryLinkThatCarriesIt) {
  const std::vector<uint8_t> ipv6 = test::MakeIpv6Datagram({.protocol = 17});
  std::vector<uint8_t> padded = ipv6;
  padded.resize(ipv6.size() + 6, 0xEE);
  struct Case {
    const char* name;
    int link_type;
    std::vector<uint8_t> frame;
    size_t offset;
  } cases[] = {
      {"ethernet", kLinkEthernet, test::EthernetFrame(ipv6, 0x86DD), 14},
      {"ethernet, one tag", kLinkEthernet, test::EthernetFrame(ipv6, 0x86DD, 1), 18},
      {"cooked", kLinkLinuxSll, test::SllFrame(ipv6, 0x86DD), 16},
      {"cooked v2", kLinkLinuxSll2, test::Sll2Frame(ipv6, 0x86DD), 20},
      {"bsd loopback 24", kLinkNull, test::FamilyFrame(ipv6, {24, 0, 0, 0}), 4},
      {"bsd loopback 28", kLinkNull, test::FamilyFrame(ipv6, {0, 0, 0, 28}), 4},
      {"bsd loopback 30", kLinkNull, test::FamilyFrame(ipv6, {30, 0, 0, 0}), 4},
      {"openbsd loopback 24", kLinkLoop, test::FamilyFrame(ipv6, {0, 0, 0, 24}), 4},
      {"raw", kLinkRaw, ipv6, 0},
      {"raw in files", kLinkRawFile, ipv6, 0},
      {"raw, padded", kLinkRaw, padded, 0},
  };
  for (const Case& c : cases) {
    DatagramSpan span{};
    ASSERT_TRUE(FindIpDatagram(c.link_type, c.frame.data(), c.frame.size(), span)) << c.name;
    EXPECT_EQ(span.offset, c.offset) << c.name;
    EXPECT_EQ(span.length, ipv6.size()) << c.name;  // 40 + the payload length
  }
}

TEST(LinkLayer, LinkPaddingIsNotPartOfTheDatagram) {
  // A 28-byte datagram travels in a 60-byte Ethernet frame.
  const std::vector<uint8_t> ip = MakeDatagram({.protocol = 17});
  ASSERT_EQ(ip.size(), 28u);
  const std::vector<uint8_t> frame = test::EthernetFrame(ip);
  ASSERT_EQ(frame.size(), 60u);
  DatagramSpan span{};
  ASSERT_TRUE(FindIpDatagram(kLinkEthernet, frame.data(), frame.size(), span));
  EXPECT_EQ(span.length, 28u);

  struct Case {
    int total_length;  // header field
    size_t kept;
  } cases[] = {
      {1000, 46},  // cut short by the snapshot: what was captured
      {0, 46},     // no usable total length (segmentation offload)
      {19, 46},    // less than a header: not trusted
      {20, 20},
      {46, 46},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> odd =
        test::EthernetFrame(MakeDatagram({.protocol = 17, .payload_length = 18,
                                          .total_length = c.total_length}));
    ASSERT_TRUE(FindIpDatagram(kLinkEthernet, odd.data(), odd.size(), span));
    EXPECT_EQ(span.length, c.kept) << c.total_length;
  }
}

}  // namespace
}  // namespace pw
