#include "engine/filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/datagram_builder.h"

namespace pw {
namespace {

using test::DatagramSpec;
using test::MakeDatagram;
using test::Proto;
using test::Tcp;
using test::Udp;

TEST(PortText, ConvertsLikeTheFieldParser) {
  struct Case {
    const char* text;
    uint16_t port;
  } cases[] = {
      {"*", 0},      {"80", 80},       {"80abc", 80},   {"70000", 0},
      {"-5", 0},     {"", 0},          {" \t443", 443}, {"+22", 22},
      {"65535", 65535}, {"65536", 0},  {"abc", 0},      {"-0", 0},
      {"**", 0},     {"99999999999999999999999", 0},    {"0080", 80},
      {"8 0", 8},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParsePortText(c.text), c.port) << '"' << c.text << '"';
  }
}

TEST(FilterField, SplitsAtTheLastColon) {
  struct Case {
    std::string text;
    std::string address;
    AddressMode mode;
    uint16_t port;
  } cases[] = {
      {"*:*", "*", AddressMode::kAny, 0},
      {"192.168.0.1:80", "192.168.0.1", AddressMode::kAddress, 80},
      {"10.0.0.1", "*:*", AddressMode::kAny, 0},  // no colon: any, any
      {"", "*:*", AddressMode::kAny, 0},
      {":80", "", AddressMode::kAddress, 80},  // empty address matches nothing
      {"*:0", "*", AddressMode::kAny, 0},
      {"10.0.0.1:", "10.0.0.1", AddressMode::kAddress, 0},
      {"10.0.0.2:*", "10.0.0.2", AddressMode::kAddress, 0},
      {"a:b:c:99", "a:b:c", AddressMode::kAddress, 99},
      {"10.0.0.1:70000", "10.0.0.1", AddressMode::kAddress, 0},
      {"host.example:-5", "host.example", AddressMode::kAddress, 0},
      // Cut to 53 characters before the colon is looked for.
      {"1.2.3.4:" + std::string(50, '5'), "1.2.3.4", AddressMode::kAddress, 0},
      {std::string(53, 'a') + ":80", "*:*", AddressMode::kAny, 0},
      {std::string(50, 'b') + ":8099", std::string(50, 'b'), AddressMode::kAddress, 80},
      // IPv6: bare (any port), in brackets with a port, and what is neither.
      {"::1", "::1", AddressMode::kAddress, 0},
      {"[::1]:8080", "[::1]", AddressMode::kAddress, 8080},
      {"[2001:db8::1]:*", "[2001:db8::1]", AddressMode::kAddress, 0},
      {"[::1]", "[::1]", AddressMode::kAddress, 0},
      {"[ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255]:65535",
       "[ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255]", AddressMode::kAddress, 65535},
      {"[::1]x:80", "[::1]x:80", AddressMode::kAddress, 0},  // matches nothing
      {"[::1:80", "[::1:80", AddressMode::kAddress, 0},      // matches nothing
      {"[10.0.0.1]", "*:*", AddressMode::kAny, 0},           // no colon: any, any
  };
  for (const Case& c : cases) {
    FilterSide side{};
    side.port = 1234;
    ParseFilterField(c.text, side);
    EXPECT_EQ(std::string(side.address), c.address) << c.text;
    EXPECT_EQ(side.mode, c.mode) << c.text;
    EXPECT_EQ(side.port, c.port) << c.text;
  }
}

TEST(FilterField, JudgedThroughTheParserWorstFindingFirst) {
  const ProtocolSwitches tcp_udp{true, true, false, false, false};
  const ProtocolSwitches icmp_only{false, false, true, false, false};
  struct Case {
    std::string text;
    ProtocolSwitches protocols;
    FieldVerdict verdict;
  } cases[] = {
      {"*:*", tcp_udp, FieldVerdict::kTaken},
      {"", tcp_udp, FieldVerdict::kTaken},
      {"*", tcp_udp, FieldVerdict::kTaken},
      {"10.0.0.1:80", tcp_udp, FieldVerdict::kTaken},
      {"10.0.0.1:*", tcp_udp, FieldVerdict::kTaken},
      {"10.0.0.1:", tcp_udp, FieldVerdict::kTaken},    // an empty port: any
      {"*:0", tcp_udp, FieldVerdict::kTaken},          // 0: any
      {"10.0.0.1: 0080", tcp_udp, FieldVerdict::kTaken},
      {"10.0.0.1:*", icmp_only, FieldVerdict::kTaken},
      {"10.0.0.300:80", tcp_udp, FieldVerdict::kMatchesNothing},
      {"010.0.0.1:*", tcp_udp, FieldVerdict::kMatchesNothing},
      {"host:80", tcp_udp, FieldVerdict::kMatchesNothing},
      {":80", tcp_udp, FieldVerdict::kMatchesNothing},
      {"1.2.3.4:5:6", tcp_udp, FieldVerdict::kMatchesNothing},  // address "1.2.3.4:5"
      {"*:*:*", tcp_udp, FieldVerdict::kMatchesNothing},
      {"10.0.0.300:http", icmp_only, FieldVerdict::kMatchesNothing},
      {"10.0.0.1", tcp_udp, FieldVerdict::kNoColon},
      {"10.0.0.1:http", tcp_udp, FieldVerdict::kPortIgnored},
      {"10.0.0.1:70000", tcp_udp, FieldVerdict::kPortIgnored},
      {"10.0.0.1:-5", tcp_udp, FieldVerdict::kPortIgnored},
      {"*:**", tcp_udp, FieldVerdict::kPortIgnored},
      {"10.0.0.1:80abc", tcp_udp, FieldVerdict::kPortCut},
      {"10.0.0.1:8 0", tcp_udp, FieldVerdict::kPortCut},
      {"10.0.0.1:80", icmp_only, FieldVerdict::kPortUnused},
      {"10.0.0.1:80", {false, true, false, false, false}, FieldVerdict::kTaken},
      // Cut to kFieldTextMax first, as the filter reads it.
      {"1.1.1.1:" + std::string(kFieldTextMax, '7'), tcp_udp, FieldVerdict::kPortIgnored},
      // IPv6 forms.
      {"::1", tcp_udp, FieldVerdict::kTaken},
      {"[2001:db8::1]:443", tcp_udp, FieldVerdict::kTaken},
      {"[::1]:*", tcp_udp, FieldVerdict::kTaken},
      {"[::1]:https", tcp_udp, FieldVerdict::kPortIgnored},
      {"[::1]:80x", tcp_udp, FieldVerdict::kPortCut},
      {"[::1]:80", icmp_only, FieldVerdict::kPortUnused},
      {"[::g]:80", tcp_udp, FieldVerdict::kMatchesNothing},
      {"[::1]x", tcp_udp, FieldVerdict::kMatchesNothing},
  };
  for (const Case& c : cases) {
    const FieldJudgement j = JudgeFilterField(c.text, c.protocols);
    EXPECT_EQ(j.verdict, c.verdict) << '"' << c.text << '"';
    EXPECT_EQ(j.reason.empty(), c.verdict == FieldVerdict::kTaken) << '"' << c.text << '"';
  }
  EXPECT_EQ(JudgeFilterField("10.0.0.300:80", tcp_udp).reason,
            "matches nothing: no datagram's address is written \"10.0.0.300\"");
  EXPECT_EQ(JudgeFilterField("10.0.0.1:80abc", tcp_udp).reason,
            "the port is read as 80: what follows the number is ignored");
  EXPECT_EQ(JudgeFilterField("10.0.0.1:80", icmp_only).reason,
            "the port is not used: only tcp and udp have ports, and none is checked");
}

TEST(FilterField, ReversePairNeedsBothTrafficAndNoPorts) {
  const ProtocolSwitches all{true, true, true, true, true};
  FilterSettings s = BuildFilterSettings("10.0.0.1:*", "10.0.0.2:*", true, all);
  EXPECT_STREQ(s.reverse_source, "10.0.0.2");
  EXPECT_STREQ(s.reverse_destination, "10.0.0.1");

  s = BuildFilterSettings("10.0.0.1:*", "10.0.0.2:80", true, all);
  EXPECT_STREQ(s.reverse_source, "");
  EXPECT_STREQ(s.reverse_destination, "");

  s = BuildFilterSettings("10.0.0.1:*", "10.0.0.2:*", false, all);
  EXPECT_STREQ(s.reverse_source, "");

  // A second build never keeps the pair of the first.
  s = BuildFilterSettings("10.0.0.1:*", "10.0.0.2:*", true, all);
  SetReversePair(s, false);
  EXPECT_STREQ(s.reverse_source, "");
  EXPECT_STREQ(s.reverse_destination, "");
}

struct FilterCase {
  const char* name;
  const char* from;
  const char* to;
  bool both;
  ProtocolSwitches protocols;
  DatagramSpec datagram;
  bool passes;
};

constexpr ProtocolSwitches kAll{true, true, true, true, true};
constexpr ProtocolSwitches kTcpUdp{true, true, false, false, false};

TEST(Filter, AddressProtocolAndPortRules) {
  const FilterCase cases[] = {
      {"any/any passes udp", "*:*", "*:*", false, kAll, Udp("1.2.3.4", 1, "5.6.7.8", 2), true},
      {"any/any passes raw", "*:*", "*:*", false, kAll, Proto(255), true},
      {"switch off drops", "*:*", "*:*", false, kTcpUdp, Proto(1), false},
      {"igmp needs igmp", "*:*", "*:*", false, {false, false, false, true, false}, Proto(2), true},
      {"other protocol never", "*:*", "*:*", false, kAll, Proto(47), false},
      {"protocol 0 never", "*:*", "*:*", false, kAll, Proto(0), false},
      {"from port: tcp source 80", "192.168.0.1:80", "*:*", false, kAll,
       Tcp("192.168.0.1", 80, "10.0.0.9", 5555), true},
      {"from port: tcp source 81", "192.168.0.1:80", "*:*", false, kAll,
       Tcp("192.168.0.1", 81, "10.0.0.9", 80), false},
      {"from port: icmp any port", "192.168.0.1:80", "*:*", false, kAll,
       Proto(1, "192.168.0.1", "10.0.0.9"), true},
      {"from port: other source", "192.168.0.1:80", "*:*", false, kAll,
       Tcp("192.168.0.2", 80, "10.0.0.9", 1), false},
      {"*:0 to 10.0.0.1", "*:0", "10.0.0.1:*", false, kAll,
       Udp("3.3.3.3", 9, "10.0.0.1", 7), true},
      {"*:0 to elsewhere", "*:0", "10.0.0.1:*", false, kAll,
       Udp("10.0.0.1", 9, "10.0.0.3", 7), false},
      {"no colon ignores address", "10.0.0.1", "*:*", false, kAll,
       Udp("9.9.9.9", 1, "8.8.8.8", 2), true},
      {"empty to, from 10.0.0.2", "10.0.0.2:*", "", false, kAll,
       Udp("10.0.0.2", 1, "8.8.8.8", 2), true},
      {"empty to, from other", "10.0.0.2:*", "", false, kAll,
       Udp("10.0.0.3", 1, "10.0.0.2", 2), false},
      {"empty address part", ":80", "*:*", false, kAll,
       Tcp("10.0.0.1", 80, "10.0.0.2", 80), false},
      {"both: forward", "10.0.0.1:*", "10.0.0.2:*", true, kAll,
       Udp("10.0.0.1", 5, "10.0.0.2", 6), true},
      {"both: reverse", "10.0.0.1:*", "10.0.0.2:*", true, kAll,
       Udp("10.0.0.2", 5, "10.0.0.1", 6), true},
      {"both off: reverse dropped", "10.0.0.1:*", "10.0.0.2:*", false, kAll,
       Udp("10.0.0.2", 5, "10.0.0.1", 6), false},
      {"both with port: reverse dropped", "10.0.0.1:*", "10.0.0.2:80", true, kAll,
       Tcp("10.0.0.2", 80, "10.0.0.1", 80), false},
      {"both with port: forward port 80", "10.0.0.1:*", "10.0.0.2:80", true, kAll,
       Tcp("10.0.0.1", 1, "10.0.0.2", 80), true},
      {"both with port: forward port 81", "10.0.0.1:*", "10.0.0.2:80", true, kAll,
       Tcp("10.0.0.1", 1, "10.0.0.2", 81), false},
      {"both with port: forward icmp", "10.0.0.1:*", "10.0.0.2:80", true, kAll,
       Proto(1, "10.0.0.1", "10.0.0.2"), true},
      {"both, one address: one-sided", "10.0.0.1:*", "*:*", true, kAll,
       Udp("10.0.0.2", 1, "10.0.0.1", 2), false},
      {"both ports given", "10.0.0.1:53", "10.0.0.2:1024", false, kAll,
       Udp("10.0.0.1", 53, "10.0.0.2", 1024), true},
      {"both ports, one wrong", "10.0.0.1:53", "10.0.0.2:1024", false, kAll,
       Udp("10.0.0.1", 53, "10.0.0.2", 1025), false},
      {"to port only", "*:*", "*:53", false, kAll, Udp("1.1.1.1", 9, "2.2.2.2", 53), true},
      {"port 70000 is any", "*:70000", "*:*", false, kAll, Udp("1.1.1.1", 9, "2.2.2.2", 53), true},
      {"leading zero never matches", "010.0.0.1:*", "*:*", false, kAll,
       Udp("10.0.0.1", 1, "2.2.2.2", 2), false},
      {"blanks never match", " 10.0.0.1:*", "*:*", false, kAll,
       Udp("10.0.0.1", 1, "2.2.2.2", 2), false},
      {"partial wildcard never matches", "10.0.0.*:*", "*:*", false, kAll,
       Udp("10.0.0.1", 1, "2.2.2.2", 2), false},
      {"host name never matches", "localhost:*", "*:*", false, kAll,
       Udp("127.0.0.1", 1, "127.0.0.1", 2), false},
      {"zeros and 255s", "0.0.0.0:*", "255.255.255.255:*", false, kAll,
       Udp("0.0.0.0", 68, "255.255.255.255", 67), true},
  };
  for (const FilterCase& c : cases) {
    const FilterSettings s = BuildFilterSettings(c.from, c.to, c.both, c.protocols);
    const std::vector<uint8_t> d = MakeDatagram(c.datagram);
    EXPECT_EQ(PassesFilter(ReadDatagramFacts(d.data(), d.size()), s), c.passes) << c.name;
  }
}

TEST(Filter, PortRuleSeesNoPortsInALaterFragment) {
  std::vector<uint8_t> d = MakeDatagram(Udp("1.2.3.4", 53, "5.6.7.8", 53));
  d[7] = 0x10;  // offset 128: the bytes at the port offsets are payload
  const DatagramFacts f = ReadDatagramFacts(d.data(), d.size());
  EXPECT_FALSE(PassesFilter(f, BuildFilterSettings("*:53", "*:*", false, kAll)));
  EXPECT_FALSE(PassesFilter(f, BuildFilterSettings("*:*", "5.6.7.8:53", false, kAll)));
  EXPECT_TRUE(PassesFilter(f, BuildFilterSettings("1.2.3.4:*", "5.6.7.8:*", false, kAll)));
  RowText row;
  FormatRowText(f, 0, row);
  EXPECT_EQ(row.view(), "\t0\tudp\t1.2.3.4\t0\t5.6.7.8\t0\t28\t64");
}

TEST(Row, AddressTextRoundTripsThroughTheFilter) {
  // Every octet value prints without leading zeros and, written that way in
  // a field, matches.
  for (int v = 0; v < 256; ++v) {
    const std::string a = std::to_string(v) + "." + std::to_string(255 - v) + ".1." +
                          std::to_string(v % 10);
    DatagramSpec sample = Proto(1, a.c_str(), "9.9.9.9");
    const std::vector<uint8_t> d = MakeDatagram(sample);
    const DatagramFacts f = ReadDatagramFacts(d.data(), d.size());
    RowText row;
    FormatRowText(f, 0, row);
    EXPECT_EQ(row.view(), "\t0\ticmp\t" + a + "\t0\t9.9.9.9\t0\t28\t64");
    const FilterSettings s = BuildFilterSettings(a + ":*", "*:*", false, kAll);
    EXPECT_TRUE(PassesFilter(f, s)) << a;
  }
}

}  // namespace
}  // namespace pw
