// IPv6 through the core: address texts both ways, the facts that the walk
// over the extension headers finds, the filter's families and forms, the
// row, and the report's IPv6, extension-header and ICMPv6 lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decode/detail_report.h"
#include "engine/filter.h"
#include "packet/ip_address.h"
#include "packet/ipv4_header.h"
#include "packet/ipv6_header.h"
#include "support/datagram_builder.h"
#include "support/ipv6_datagram_builder.h"

namespace pw {
namespace {

using test::Ipv6Shape;
using test::MakeIpv6Datagram;

std::string Formatted(const char* text) {
  IpAddress a;
  EXPECT_TRUE(ReadIpv6Text(text, a)) << text;
  return std::string(FormatIpAddress(a).view());
}

TEST(Ipv6Text, ReadInAnyFormAndWrittenAsRfc5952Says) {
  const struct {
    const char* typed;
    const char* written;
  } cases[] = {
      {"::", "::"},
      {"::1", "::1"},
      {"1::", "1::"},
      {"2001:DB8:0:0:0:0:0:1", "2001:db8::1"},
      {"2001:0db8::0001", "2001:db8::1"},
      {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},      // the first of two runs
      {"2001:0:0:1:0:0:0:1", "2001:0:0:1::1"},            // the longer run
      {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"},   // one zero group stays
      {"1:2:3:4:5:6:7::", "1:2:3:4:5:6:7:0"},             // "::" for one group
      {"::ffff:192.0.2.1", "::ffff:192.0.2.1"},           // IPv4-mapped
      {"0:0:0:0:0:FFFF:C000:0201", "::ffff:192.0.2.1"},
      {"::192.0.2.1", "::c000:201"},                      // not mapped: hexadecimal
      {"fe80::1:2", "fe80::1:2"},
      {"ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255",
       "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
  };
  for (const auto& c : cases) EXPECT_EQ(Formatted(c.typed), c.written) << c.typed;
}

TEST(Ipv6Text, WhatInetPtonRefusesIsNoAddress) {
  for (const char* text :
       {"", ":", ":::", "1:::2", "::1::", "1::2::3", ":1::", "1:2:3:4:5:6:7:8:9",
        "1:2:3:4:5:6:7", "1:2:3:4:5:6:7:8::", "12345::", "g::", "::1 ", " ::1", "[::1]",
        "::1%1", "1.2.3.4", "::1.2.3", "::1.2.3.04", "::256.0.0.1", "::1.2.3.4:5",
        "1:2:3:4:5:6:7:1.2.3.4", "::ffff:1.2.3.4.5", "1:2:3:4:5:6:"}) {
    IpAddress a;
    EXPECT_FALSE(ReadIpv6Text(text, a)) << '"' << text << '"';
  }
}

TEST(Ipv6Facts, TheWalkFindsTheUpperLayer) {
  const struct {
    const char* name;
    Ipv6Shape shape;
    uint8_t protocol;  // 59: never stored
    uint16_t sport, dport;
  } cases[] = {
      {"udp", {.protocol = 17, .source_port = 5353, .destination_port = 53}, 17, 5353, 53},
      {"tcp behind every extension header",
       {.protocol = 6, .source_port = 1, .destination_port = 2,
        .extensions = {0, 43, 60, 51, 44}},
       6, 1, 2},
      {"first fragment", {.protocol = 17, .source_port = 7, .destination_port = 9,
                          .extensions = {44}, .more_fragments = true},
       17, 7, 9},
      {"later fragment: no ports", {.protocol = 17, .source_port = 7, .destination_port = 9,
                                    .extensions = {44}, .fragment_offset = 1448},
       17, 0, 0},
      {"icmp6", {.protocol = 58, .extensions = {0}}, 58, 0, 0},
      {"raw", {.protocol = 255}, 255, 0, 0},
      {"esp", {.protocol = 50}, 50, 0, 0},
      {"no next header", {.protocol = 59, .extensions = {60}}, 59, 0, 0},
      {"unknown header", {.protocol = 135}, 135, 0, 0},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> d = MakeIpv6Datagram(c.shape);
    const DatagramFacts f = ReadDatagramFacts(d.data(), d.size());
    EXPECT_EQ(f.family, IpFamily::kV6) << c.name;
    EXPECT_EQ(f.protocol, c.protocol) << c.name;
    EXPECT_EQ(f.source_port, c.sport) << c.name;
    EXPECT_EQ(f.destination_port, c.dport) << c.name;
    EXPECT_EQ(f.total_length, d.size()) << c.name;
    EXPECT_EQ(f.ttl, 64) << c.name;
    EXPECT_EQ(FindStoredProtocol(f.protocol, f.family) != nullptr,
              c.protocol != 50 && c.protocol != 59 && c.protocol != 135)
        << c.name;
  }
}

TEST(Ipv6Facts, ShortDatagramsAndChainsPastTheEndAreNeverStored) {
  const std::vector<uint8_t> d =
      MakeIpv6Datagram({.protocol = 17, .extensions = {0, 60}, .payload_length_field = 0xFFFF});
  for (const size_t length : {size_t{1}, size_t{39}, size_t{40}, size_t{47}, size_t{55}}) {
    const DatagramFacts f = ReadDatagramFacts(d.data(), length);
    EXPECT_EQ(f.protocol, kIpv6NoNextHeader) << length;
  }
  EXPECT_EQ(ReadDatagramFacts(d.data(), 56).protocol, 17);  // the chain ends in the bytes
  EXPECT_EQ(ReadDatagramFacts(d.data(), 56).total_length, 40u + 0xFFFF);
}

struct Ipv6FilterCase {
  const char* name;
  const char* from;
  const char* to;
  bool both;
  bool v6;  // the datagram: [2001:db8::1]:1000 -> [2001:db8::2]:53 udp, or
            // 10.0.0.1:1000 -> 10.0.0.2:53 udp
  bool passes;
};

TEST(Ipv6Filter, FamiliesNeverCrossMatchAndEveryFormMatches) {
  const Ipv6FilterCase cases[] = {
      {"any takes IPv6", "*:*", "*:*", false, true, true},
      {"*:PORT takes IPv6", "*:*", "*:53", false, true, true},
      {"*:PORT takes IPv4", "*:*", "*:53", false, false, true},
      {"bare address", "2001:db8::1", "*:*", false, true, true},
      {"bracketed with port", "[2001:db8::1]:1000", "[2001:db8::2]:53", false, true, true},
      {"another form", "[2001:0DB8:0:0::1]:*", "*:*", false, true, true},
      {"wrong port", "[2001:db8::1]:1001", "*:*", false, true, false},
      {"IPv6 never takes IPv4", "::ffff:10.0.0.1", "*:*", false, false, false},
      {"IPv4 never takes IPv6", "10.0.0.1:*", "*:*", false, true, false},
      {"both: the reverse pair", "[2001:db8::2]:*", "2001:db8::1", true, true, true},
      {"without both: one way", "[2001:db8::2]:*", "2001:db8::1", false, true, false},
      {"dialog: no closing bracket", "[2001:db8::1:1000", "*:*", false, true, false},
      {"dialog: text after the bracket", "[2001:db8::1]x", "*:*", false, true, false},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> d =
        c.v6 ? MakeIpv6Datagram({.protocol = 17, .source_port = 1000, .destination_port = 53})
             : test::MakeDatagram(test::Udp("10.0.0.1", 1000, "10.0.0.2", 53));
    const FilterSettings s = BuildFilterSettings(c.from, c.to, c.both, {true, true, true, true, true});
    EXPECT_EQ(PassesFilter(ReadDatagramFacts(d.data(), d.size()), s), c.passes) << c.name;
  }
  // The icmp switch takes ICMPv6; igmp and icmp numbers behind IPv6 are never stored.
  const ProtocolSwitches icmp_only{false, false, true, false, false};
  const FilterSettings s = BuildFilterSettings("*:*", "*:*", false, icmp_only);
  for (const auto& [protocol, passes] :
       std::vector<std::pair<uint8_t, bool>>{{58, true}, {1, false}, {2, false}}) {
    const std::vector<uint8_t> d = MakeIpv6Datagram({.protocol = protocol});
    EXPECT_EQ(PassesFilter(ReadDatagramFacts(d.data(), d.size()), s), passes) << int(protocol);
  }
}

TEST(Ipv6Row, AddressesAsRfc5952HopLimitAndWholeLength) {
  const std::vector<uint8_t> d = MakeIpv6Datagram(
      {.protocol = 6, .source = "2001:0db8:0000:0000:0000:ff00:0042:8329",
       .destination = "ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe", .source_port = 65535,
       .destination_port = 443, .hop_limit = 255, .extensions = {0}, .payload_length = 10});
  RowText row;
  uint8_t protocol = 0;
  RowMiddleCache cache;
  ASSERT_TRUE(FilterAndDescribe(d.data(), d.size(), 9999,
                                BuildFilterSettings("*:*", "*:*", false, {true, true, true, true, true}),
                                row, protocol, &cache));
  EXPECT_EQ(row.view(),
            "\t9999\ttcp\t2001:db8::ff00:42:8329\t65535\tffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe"
            "\t443\t78\t255");
  EXPECT_EQ(protocol, 6);
  const std::vector<uint8_t> e = MakeIpv6Datagram({.protocol = 58, .source = "::1", .destination = "::1"});
  FormatRowText(ReadDatagramFacts(e.data(), e.size()), 1, row);
  EXPECT_EQ(row.view(), "\t1\ticmp6\t::1\t0\t::1\t0\t48\t64");
}

std::vector<std::string> Report(const std::vector<uint8_t>& d, uint8_t protocol) {
  DetailReport report;
  BuildDetailReport(d.data(), d.size(), protocol, 4, {}, report);
  return report.entries;
}

TEST(Ipv6Report, HeaderAndExtensionLinesBetweenTransportAndPayload) {
  std::vector<uint8_t> d = MakeIpv6Datagram(
      {.protocol = 17, .source = "fe80::1", .destination = "ff02::fb", .source_port = 5353,
       .destination_port = 5353, .hop_limit = 255, .extensions = {0, 43, 44, 51},
       .more_fragments = true, .payload_length = 2});
  d[1] = 0xA1;  // traffic class 0x0A, flow label 0x12345
  d[2] = 0x23;
  d[3] = 0x45;
  d[48 + 2] = 4;  // routing type 4, segments left 1
  d[48 + 3] = 1;
  d[64 + 4] = 1;  // SPI 0x01000000, sequence 7
  d[64 + 11] = 7;
  d[d.size() - 2] = 'h';
  d[d.size() - 1] = 'i';
  const std::vector<std::string> expected = {
      "packets source:", "", "packet4 udp ", "sourse port = 5353 ",
      "destination port = 5353 ", "checksum = 0", "length = 0",
      "udp checksum = 0x0000 (cannot be checked, datagram fragmented)", "version = 6", "traffic class = 10",
      "flow label = 74565", "payload length = 50", "next header = 0", "hop limit = 255",
      "source = fe80::1", "destination = ff02::fb",
      "extension header = hop-by-hop options", "next header = 43", "header length = 8",
      "extension header = routing", "next header = 44", "header length = 8",
      "routing type = 4", "segments left = 1",
      "extension header = fragment", "next header = 51", "header length = 8",
      "fragment offset = 0", "more fragments = 1", "identification = 42",
      "extension header = authentication", "next header = 17", "header length = 16",
      "security parameters index = 16777216", "sequence number = 7",
      "data length = 2", "data in ASCII view:", "hi", "data in HEX view:", "68 69 ", ""};
  EXPECT_EQ(Report(d, 17), expected);

  // A later fragment: its offset, the IPv6 lines, the payload behind the
  // fragment header.
  const std::vector<uint8_t> later =
      MakeIpv6Datagram({.protocol = 6, .extensions = {44}, .fragment_offset = 2048});
  const std::vector<std::string> lines = Report(later, 6);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[2], "packet4 tcp");
  EXPECT_EQ(lines[3], "fragment offset = 2048");
  EXPECT_EQ(lines[4], "version = 6");
  EXPECT_EQ(lines[lines.size() - 2], "data length = 20");
}

// A chain of thousands of extension headers lists the first sixteen and
// counts the rest, so that the payload part keeps its room and the report
// its last line end.
TEST(Ipv6Report, ALongChainListsItsFirstHeaders) {
  const std::vector<uint8_t> d = MakeIpv6Datagram(
      {.protocol = 17, .extensions = std::vector<uint8_t>(2000, 60), .payload_length = 4});
  const std::vector<std::string> lines = Report(d, 17);
  size_t listed = 0;
  for (const std::string& line : lines) listed += line == "extension header = destination options";
  EXPECT_EQ(listed, 16u);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "further extension headers not shown: 1984"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "data length = 4"), lines.end());
  EXPECT_EQ(lines.back(), "");
}

TEST(Ipv6Report, Icmpv6MessagesByName) {
  const struct {
    uint8_t type, code;
    std::vector<uint8_t> body;  // bytes 4 on of the message
    std::vector<std::string> lines;
  } cases[] = {
      {128, 0, {0x12, 0x34, 0, 7}, {"type = Echo Request (128)", "code = 0", "identifier = 4660",
                                    "sequence number = 7"}},
      {1, 4, {}, {"type = Destination Unreachable (1)", "code = port unreachable (4)"}},
      {1, 99, {}, {"type = Destination Unreachable (1)", "code = unknown (99)"}},
      {2, 0, {0, 0, 5, 0xDC}, {"type = Packet Too Big (2)", "code = 0", "mtu = 1500"}},
      {3, 1, {}, {"type = Time Exceeded (3)", "code = fragment reassembly time exceeded (1)"}},
      {4, 1, {0, 0, 0, 40}, {"type = Parameter Problem (4)",
                             "code = unrecognized next header (1)", "pointer = 40"}},
      {135, 0, {0, 0, 0, 0, 0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9},
       {"type = Neighbor Solicitation (135)", "code = 0", "target address = fe80::9"}},
      {131, 0, {0, 0, 0, 0, 0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFB},
       {"type = Multicast Listener Report (131)", "code = 0", "multicast address = ff02::fb"}},
      {143, 0, {0, 0, 0, 1, 4, 0, 0, 0, 0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFB},
       {"type = Version 2 Multicast Listener Report (143)", "code = 0", "number of records = 1",
        "multicast address = ff02::fb"}},
      {200, 0, {}, {"type = unknown (200)", "code = 0"}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> d = MakeIpv6Datagram({.protocol = 58});
    d.resize(40 + 4 + c.body.size() + 4, 0);  // no less than the 8 bytes of a header
    d[40] = c.type;
    d[41] = c.code;
    std::copy(c.body.begin(), c.body.end(), d.begin() + 44);
    const std::vector<std::string> lines = Report(d, 58);
    ASSERT_GE(lines.size(), 11 + c.lines.size()) << int(c.type);
    EXPECT_EQ(lines[2], "packet4 icmp6");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 11, lines.end() - 2), c.lines)
        << int(c.type);
    EXPECT_EQ(lines[lines.size() - 2].rfind("icmpv6 checksum = 0x", 0), 0u);
  }
}

}  // namespace
}  // namespace pw
