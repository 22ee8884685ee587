// The frame filter: a capture expression compiled for a link type, applied
// to frames without any capture handle, as a file reader applies it.
#include "capture/frame_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "packet/link_layer.h"
#include "support/datagram_builder.h"
#include "support/pcap_file.h"

namespace pw {
namespace {

using test::MakeDatagram;

bool Passes(const FrameFilter& f, const std::vector<uint8_t>& frame) {
  return f.passes(frame.data(), frame.size(), frame.size());
}

const std::vector<uint8_t> kUdp53 =
    MakeDatagram({.protocol = 17, .source_port = 4000, .destination_port = 53});
const std::vector<uint8_t> kTcp80 =
    MakeDatagram({.protocol = 6, .source_port = 4000, .destination_port = 80});

// An IPv6 udp datagram to port 53: the same ports, another IP version.
std::vector<uint8_t> Ipv6Udp53() {
  std::vector<uint8_t> d(48, 0);
  d[0] = 0x60;
  d[5] = 8;    // payload length
  d[6] = 17;   // next header: udp
  d[7] = 64;   // hop limit
  d[41] = 0xA0;  // source port 4000
  d[40] = 0x0F;
  d[43] = 53;
  return d;
}

TEST(FrameFilter, TheFilterTextPutsTheExpressionBeforeIp) {
  EXPECT_EQ(CaptureFilterText(""), "ip or ip6");
  EXPECT_EQ(CaptureFilterText(" \t"), "ip or ip6");
  EXPECT_EQ(CaptureFilterText("udp or icmp"), "(udp or icmp) and (ip or ip6)");
}

TEST(FrameFilter, WithoutAnExpressionEveryFramePasses) {
  FrameFilter f;
  ASSERT_TRUE(f.compile("", kLinkEthernet, 65535));
  EXPECT_TRUE(Passes(f, test::EthernetFrame(kUdp53)));
  EXPECT_TRUE(Passes(f, test::EthernetFrame({0, 1}, 0x0806)));  // the reader decides
  EXPECT_TRUE(f.passes(nullptr, 0, 0));
}

TEST(FrameFilter, AnExpressionTakesIpFramesOnly) {
  FrameFilter f;
  ASSERT_TRUE(f.compile("udp port 53", kLinkEthernet, 65535)) << f.error();
  EXPECT_TRUE(Passes(f, test::EthernetFrame(kUdp53)));
  EXPECT_FALSE(Passes(f, test::EthernetFrame(kTcp80)));
  EXPECT_TRUE(Passes(f, test::EthernetFrame(Ipv6Udp53(), 0x86DD)));
  EXPECT_FALSE(Passes(f, test::EthernetFrame({0, 1}, 0x0806)));
  ASSERT_TRUE(f.compile("udp", kLinkEthernet, 65535)) << f.error();
  EXPECT_FALSE(Passes(f, test::EthernetFrame({0, 1}, 0x0806)));

  // "vlan" comes before "ip", so "ip" looks behind the tag.
  ASSERT_TRUE(f.compile("vlan and udp", kLinkEthernet, 65535)) << f.error();
  EXPECT_TRUE(Passes(f, test::EthernetFrame(kUdp53, 0x0800, 1)));
  EXPECT_FALSE(Passes(f, test::EthernetFrame(kUdp53)));
}

TEST(FrameFilter, EveryLinkTypeOfTheReader) {
  struct Case {
    const char* name;
    int link_type;
    std::vector<uint8_t> udp;
    std::vector<uint8_t> tcp;
  } cases[] = {
      {"raw", kLinkRaw, kUdp53, kTcp80},
      {"raw in a file", kLinkRawFile, kUdp53, kTcp80},
      {"ipv4", kLinkIpv4, kUdp53, kTcp80},
      {"linux cooked", kLinkLinuxSll, test::SllFrame(kUdp53), test::SllFrame(kTcp80)},
      {"linux cooked v2", kLinkLinuxSll2, test::Sll2Frame(kUdp53), test::Sll2Frame(kTcp80)},
      {"bsd loopback", kLinkNull, test::FamilyFrame(kUdp53, {2, 0, 0, 0}),
       test::FamilyFrame(kTcp80, {2, 0, 0, 0})},
  };
  for (const Case& c : cases) {
    FrameFilter f;
    ASSERT_TRUE(f.compile("udp and dst port 53 and src host 10.0.0.1", c.link_type, 65535))
        << c.name << ": " << f.error();
    EXPECT_TRUE(Passes(f, c.udp)) << c.name;
    EXPECT_FALSE(Passes(f, c.tcp)) << c.name;
  }
}

TEST(FrameFilter, ShortFramesAreReadWithinTheirBytes) {
  FrameFilter f;
  ASSERT_TRUE(f.compile("udp port 53", kLinkEthernet, 65535));
  const std::vector<uint8_t> frame = test::EthernetFrame(kUdp53);
  for (size_t captured = 0; captured < 14 + 24; ++captured) {
    std::vector<uint8_t> cut(frame.begin(), frame.begin() + static_cast<long>(captured));
    EXPECT_FALSE(f.passes(cut.data(), cut.size(), frame.size())) << captured;
  }
}

TEST(FrameFilter, ARefusedExpressionGivesTheLibrarysMessage) {
  FrameFilter f;
  for (const char* bad : {"udp and", "port 99999", "nosuchword", "(udp"}) {
    EXPECT_FALSE(f.compile(bad, kLinkEthernet, 65535)) << bad;
    EXPECT_FALSE(f.error().empty()) << bad;
  }
  EXPECT_FALSE(f.compile("udp and", kLinkEthernet, 65535));
  EXPECT_EQ(f.error(), "can't parse filter expression: syntax error");
  // Valid on one link type, not on another.
  EXPECT_TRUE(f.compile("ether host 01:02:03:04:05:06", kLinkEthernet, 65535)) << f.error();
  EXPECT_FALSE(f.compile("ether host 01:02:03:04:05:06", kLinkRaw, 65535));
  // After a refusal, every frame passes rather than a stale program.
  EXPECT_TRUE(Passes(f, test::EthernetFrame(kTcp80)));
}

}  // namespace
}  // namespace pw
