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
  EXPECT_EQ(CaptureFilterText(""), "ip");
  EXPECT_EQ(CaptureFilterText(" \t"), "ip");
  EXPECT_EQ(CaptureFilterText("udp or icmp"), "(udp or icmp) and ip");
}

TEST(FrameFilter, WithoutAnExpressionEveryFramePasses) {
  FrameFilter f;
  ASSERT_TRUE(f.compile("", kLinkEthernet, 65535));
  EXPECT_TRUE(Passes(f, test::EthernetFrame(kUdp53)));
  EXPECT_TRUE(Passes(f, test::EthernetFrame({0, 1}, 0x0806)));  // the reader decides
  EXPECT_TRUE(f.passes(nullptr, 0, 0));
}

TEST(FrameFilter, AnExpressionTakesIpv4FramesOnly) {
  FrameFilter f;
  ASSERT_TRUE(f.compile("udp port 53", kLinkEthernet, 65535)) << f.error();
  EXPECT_TRUE(Passes(f, test::EthernetFrame(kUdp53)));
  EXPECT_FALSE(Passes(f, test::EthernetFrame(kTcp80)));
  EXPECT_FALSE(Passes(f, test::EthernetFrame(Ipv6Udp53(), 0x86DD)));
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

// The fields' rules in the kernel take every datagram that the session's
// filter takes, and leave out what it refuses: checked over datagrams of
// every stored protocol, both directions, other hosts and ports, and later
// fragments, for fields in each of the forms the command line gives.
TEST(FrameFilter, TheFieldsRulesTakeWhatTheSessionTakes) {
  std::vector<std::vector<uint8_t>> datagrams;
  for (const uint8_t protocol : {uint8_t{6}, uint8_t{17}, uint8_t{1}, uint8_t{2}, uint8_t{255},
                                 uint8_t{47}}) {
    for (const auto& [source, destination] :
         {std::pair{"10.0.0.1", "10.0.0.2"}, std::pair{"10.0.0.2", "10.0.0.1"},
          std::pair{"10.0.0.3", "10.0.0.2"}}) {
      for (const auto& [sport, dport] : {std::pair{4000, 53}, std::pair{53, 4000}}) {
        std::vector<uint8_t> d = MakeDatagram({.protocol = protocol, .source = source,
                                               .destination = destination,
                                               .source_port = static_cast<uint16_t>(sport),
                                               .destination_port = static_cast<uint16_t>(dport)});
        datagrams.push_back(d);
        d[6] = 0x00;  // a later fragment: its ports are payload
        d[7] = 0x10;
        datagrams.push_back(d);
      }
    }
  }
  struct Case {
    const char* from;
    const char* to;
    bool both;
    ProtocolSwitches protocols;
    const char* text;
  } cases[] = {
      {"*:*", "*:*", false, {true, true, false, false, false}, "(ip proto 6) or (ip proto 17)"},
      {"*:*", "*:53", false, {false, true, true, false, false},
       "(ip proto 17 and dst port 53) or (ip proto 1)"},
      {"10.0.0.1:*", "*:*", false, {true, true, true, true, true},
       "(src host 10.0.0.1) and ((ip proto 6) or (ip proto 17) or (ip proto 1) or (ip proto 2) "
       "or (ip proto 255))"},
      {"10.0.0.1:4000", "10.0.0.2:53", false, {true, false, false, false, false},
       "(src host 10.0.0.1 and dst host 10.0.0.2) and ((ip proto 6 and src port 4000 and dst "
       "port 53))"},
      {"10.0.0.1:*", "10.0.0.2:*", true, {false, true, false, false, false},
       "((src host 10.0.0.1 and dst host 10.0.0.2) or (src host 10.0.0.2 and dst host "
       "10.0.0.1)) and ((ip proto 17))"},
  };
  for (const Case& c : cases) {
    const FilterSettings fields = BuildFilterSettings(c.from, c.to, c.both, c.protocols);
    const std::string text = FieldsFilterText(fields);
    EXPECT_EQ(text, c.text) << c.from << " " << c.to;
    FrameFilter kernel;
    ASSERT_TRUE(kernel.compile(text, kLinkRaw, 65535)) << kernel.error();
    size_t refused = 0;
    for (const std::vector<uint8_t>& d : datagrams) {
      const bool session = PassesFilter(ReadDatagramFacts(d.data(), d.size()), fields);
      if (session) {
        EXPECT_TRUE(Passes(kernel, d)) << text << " refuses what the session takes";
      }
      refused += !Passes(kernel, d);
    }
    EXPECT_GT(refused, 0u) << text;
  }
  // An address that matches nothing: nothing for the kernel to leave out.
  EXPECT_EQ(FieldsFilterText(BuildFilterSettings("10.0.0.01:*", "*:*", false,
                                                 {true, true, false, false, false})),
            "");
}

}  // namespace
}  // namespace pw
