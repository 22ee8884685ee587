#include "decode/detail_report.h"

#include <gtest/gtest.h>

#include "support/detail_test_helpers.h"

namespace pw {
namespace {

using namespace test;

struct Golden {
  const Fixture* fixture;
  PayloadViewFlags flags;
  Entries entries;
};

// Expected entries of every fixture with the first-run view options, grouped
// by protocol.
const std::vector<Golden>& GoldenTable() {
  using namespace test;
  static const std::vector<Golden> table = {
      {&kTcpSyn, kFirstRun,
       {"packets source:",
        "",
        "packet0 tcp",
        "sourse port = 54644",
        "destination port = 18080",
        "checksum = 65072",
        "acknowledgement number = 0",
        "sequence number = 4253539929",
        "window size = 65495",
        "URG = False",
        "ACK = False",
        "PSH = False",
        "RST = False",
        "SYN = True",
        "FIN = False",
        "MSS = 65495",
        ""}},
      {&kTcpSynAck, kFirstRun,
       {"packets source:",
        "",
        "packet1 tcp",
        "sourse port = 18080",
        "destination port = 54644",
        "checksum = 65072",
        "acknowledgement number = 4253539930",
        "sequence number = 4196629580",
        "window size = 65483",
        "URG = False",
        "ACK = True",
        "PSH = False",
        "RST = False",
        "SYN = True",
        "FIN = False",
        "MSS = 65495",
        ""}},
      {&kTcpHttpRequest, kFirstRun,
       {"packets source:",
        "",
        "packet3 tcp",
        "sourse port = 54644",
        "destination port = 18080",
        "checksum = 65151",
        "acknowledgement number = 4196629581",
        "sequence number = 4253539930",
        "window size = 64",
        "URG = False",
        "ACK = True",
        "PSH = True",
        "RST = False",
        "SYN = False",
        "FIN = False",
        "data length = 87",
        "data in a text view:",
        "GET /index.html HTTP/1.1",
        "Host: 127.0.0.1:18080",
        "User-Agent: probe/1.0",
        "Accept: */*",
        "",
        "",
        ""}},
      {&kTcpHttpResponse, kFirstRun,
       {"packets source:",
        "",
        "packet5 tcp",
        "sourse port = 18080",
        "destination port = 54644",
        "checksum = 65104",
        "acknowledgement number = 4253540017",
        "sequence number = 4196629581",
        "window size = 64",
        "URG = False",
        "ACK = True",
        "PSH = True",
        "RST = False",
        "SYN = False",
        "FIN = False",
        "data length = 40",
        "data in a text view:",
        "HTTP/1.0 200 OK",
        "Content-Length: 2",
        "",
        "hi",
        ""}},
      {&kTcpFinAck, kFirstRun,
       {"packets source:",
        "",
        "packet9 tcp",
        "sourse port = 54644",
        "destination port = 18080",
        "checksum = 65064",
        "acknowledgement number = 4196629622",
        "sequence number = 4253540017",
        "window size = 64",
        "URG = False",
        "ACK = True",
        "PSH = False",
        "RST = False",
        "SYN = False",
        "FIN = True",
        ""}},
      {&kTcpUrgSynMss536, kFirstRun,
       {"packets source:",
        "",
        "packet12 tcp",
        "sourse port = 1025",
        "destination port = 80",
        "checksum = 43981",
        "acknowledgement number = 2596069104",
        "sequence number = 2147483649",
        "window size = 512",
        "URG = True",
        "ACK = False",
        "PSH = False",
        "RST = False",
        "SYN = True",
        "FIN = False",
        "MSS = 536",
        ""}},
      {&kUdpDnsQuery, kFirstRun,
       {"packets source:",
        "",
        "packet11 udp ",
        "sourse port = 40000 ",
        "destination port = 15353 ",
        "checksum = 65080",
        "data length = 29",
        "data in ASCII view:",
        "\x1a+\x01\x01\x07" "example\x03" "com\x01\x01",
        "data in HEX view:",
        "1a 2b 01 00 00 01 00 00 00 00 00 00 07 65 78 61 6d 70 6c 65 03 63 6f 6d 00 00 01 00 01 ",
        ""}},
      {&kUdpAbcdefgh, kFirstRun,
       {"packets source:",
        "",
        "packet2 udp ",
        "sourse port = 12345 ",
        "destination port = 53 ",
        "checksum = 4660",
        "data length = 8",
        "data in ASCII view:",
        "ABCDEFGH",
        "data in HEX view:",
        "41 42 43 44 45 46 47 48 ",
        ""}},
      {&kUdpWithIpOptions, kFirstRun,
       {"packets source:",
        "",
        "packet4 udp ",
        "sourse port = 5000 ",
        "destination port = 6000 ",
        "checksum = 48879",
        "data length = 4",
        "data in ASCII view:",
        "xyz!",
        "data in HEX view:",
        "78 79 7a 21 ",
        ""}},
      {&kIcmpEchoRequest, kFirstRun,
       {"packets source:",
        "",
        "packet14 icmp",
        "Echo Request (8)",
        ""}},
      {&kIcmpEchoReply, kFirstRun,
       {"packets source:",
        "",
        "packet15 icmp",
        "Echo Reply (0)",
        ""}},
      {&kIcmpPortUnreachable, kFirstRun,
       {"packets source:",
        "",
        "packet13 icmp",
        "Destination Unreachable (3)",
        "Port unreachable,",
        "source 127.0.0.1:40000",
        "destination 127.0.0.1:15354",
        ""}},
      {&kIcmpTimeExceeded, kFirstRun,
       {"packets source:",
        "",
        "packet6 icmp",
        "Time Exceeded (11)",
        "TTL == 0 with reassembly",
        ""}},
      {&kIgmpV2Report, kFirstRun,
       {"packets source:",
        "",
        "packet8 igmp",
        "version = 1",
        "type = 6",
        "cheksum = 2308",
        "group adddress = 224.0.0.251",
        ""}},
      {&kRaw, kFirstRun,
       {"packets source:",
        "",
        "packet7 raw",
        ""}},
  };
  return table;
}

// The payload part (from the "data length" entry to the end) of the TCP and
// UDP fixtures under view options other than the first run's.
const std::vector<Golden>& PayloadTable() {
  using namespace test;
  static const std::vector<Golden> table = {
      {&kTcpHttpRequest, kAsciiAndHex,
       {"data length = 87",
        "data in ASCII view:",
        "GET /index.html HTTP/1.1",
        "Host: 127.0.0.1:18080",
        "User-Agent: pro",
        "be/1.0",
        "Accept: */*",
        "",
        "",
        "data in HEX view:",
        "47 45 54 20 2f 69 6e 64 65 78 2e 68 74 6d 6c 20 48 54 54 50 2f 31 2e 31 0d 0a 48 6f 73 74 3a 20 ",
        "31 32 37 2e 30 2e 30 2e 31 3a 31 38 30 38 30 0d 0a 55 73 65 72 2d 41 67 65 6e 74 3a 20 70 72 6f ",
        "62 65 2f 31 2e 30 0d 0a 41 63 63 65 70 74 3a 20 2a 2f 2a 0d 0a 0d 0a ",
        ""}},
      {&kTcpHttpResponse, kTextAndHex,
       {"data length = 40",
        "data in a text view:",
        "HTTP/1.0 200 OK",
        "Content-Length: 2",
        "",
        "hi",
        "data in HEX view:",
        "48 54 54 50 2f 31 2e 30 20 32 30 30 20 4f 4b 0d 0a 43 6f 6e 74 65 6e 74 2d 4c 65 6e 67 74 68 3a ",
        "20 32 0d 0a 0d 0a 68 69 ",
        ""}},
      {&kTcpHttpResponse, kNoViews,
       {"data length = 40",
        ""}},
      {&kUdpDnsQuery, kNoViews,
       {"data length = 29",
        "data in ASCII view:",
        "\x1a+\x01\x01\x07" "example\x03" "com\x01\x01",
        "data in HEX view:",
        "1a 2b 01 00 00 01 00 00 00 00 00 00 07 65 78 61 6d 70 6c 65 03 63 6f 6d 00 00 01 00 01 ",
        ""}},
  };
  return table;
}

TEST(DetailReportGolden, EveryFixtureDecodesToItsEntries) {
  for (const Golden& g : GoldenTable()) {
    SCOPED_TRACE(g.fixture->name);
    const DetailReport report = DecodeStored(*g.fixture, g.flags);
    EXPECT_EQ(report.entries, g.entries);
    EXPECT_FALSE(report.fields_past_end);
  }
}

TEST(DetailReportGolden, PayloadPartsUnderOtherViewOptions) {
  for (const Golden& g : PayloadTable()) {
    SCOPED_TRACE(g.fixture->name);
    const Entries all = DecodeStored(*g.fixture, g.flags).entries;
    size_t at = 0;
    while (at < all.size() && all[at].rfind("data length = ", 0) != 0) ++at;
    EXPECT_EQ(Entries(all.begin() + static_cast<long>(at), all.end()), g.entries);
  }
}

TEST(DetailReport, DispatchGoesByTheStoredProtocolEntry) {
  // A TCP datagram whose protocol entry was cleared (or names nothing the
  // decoder knows) is "unknown" and nothing more.
  const std::vector<uint8_t> tcp = FixtureBytes(test::kTcpSyn);
  for (const uint8_t protocol : {uint8_t{0}, uint8_t{3}, uint8_t{47}, uint8_t{254}}) {
    EXPECT_EQ(Decode(tcp, protocol, 4, kFirstRun),
              (Entries{"packets source:", "", "packet4 unknown", ""}));
  }
  // ... and a UDP datagram stored as TCP is decoded as TCP.
  EXPECT_EQ(Decode(FixtureBytes(test::kUdpAbcdefgh), kProtoTcp, 0, kFirstRun)[2], "packet0 tcp");
}

// ---- IGMP, UDP and IP header length ----------------------------------------

TEST(DetailReport, IgmpFieldsFromTheFirstByteAndChecksum) {
  std::vector<uint8_t> d = {0x45, 0, 0, 28, 0, 0, 0, 0, 1, kProtoIgmp, 0, 0, 10, 0, 0, 1,
                            224, 0, 0, 1, 0x12, 0, 0x01, 0x02, 239, 255, 255, 250};
  EXPECT_EQ(Decode(d, kProtoIgmp, 3, kFirstRun),
            (Entries{"packets source:", "", "packet3 igmp", "version = 1", "type = 2",
                     "cheksum = 258", "group adddress = 239.255.255.250", ""}));
}

TEST(DetailReport, UdpViewsDoNotDependOnTheOptions) {
  const std::vector<uint8_t> udp = FixtureBytes(test::kUdpDnsQuery);
  const Entries expected = Decode(udp, kProtoUdp, 0, kFirstRun);
  for (const PayloadViewFlags& flags : test::AllViewOptions()) {
    EXPECT_EQ(Decode(udp, kProtoUdp, 0, flags), expected);
  }
}

// ---- Short datagrams: fields past the end read as 0 -------------------------

TEST(DetailReport, LaterFragmentShowsItsOffsetAndPayloadButNoTransportFields) {
  // Bytes 6-7 = 0x20B9: more fragments, offset 185 * 8 = 1480. The eight
  // bytes after the IP header are payload, not a header.
  auto fragment = [](uint8_t protocol) {
    std::vector<uint8_t> d = Concat({0x45, 0, 0, 28, 0, 1, 0x20, 0xB9, 64, protocol, 0, 0,
                                     10, 0, 0, 1, 10, 0, 0, 2},
                                    {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'});
    return d;
  };
  const Entries udp = {"packets source:", "", "packet3 udp ", "fragment offset = 1480",
                       "data length = 8", "data in ASCII view:", "ABCDEFGH",
                       "data in HEX view:", "41 42 43 44 45 46 47 48 ", ""};
  EXPECT_EQ(Decode(fragment(kProtoUdp), kProtoUdp, 3, kFirstRun), udp);
  const Entries tcp = {"packets source:", "", "packet3 tcp", "fragment offset = 1480",
                       "data length = 8", "data in a text view:", "ABCDEFGH", ""};
  EXPECT_EQ(Decode(fragment(kProtoTcp), kProtoTcp, 3, kFirstRun), tcp);
  EXPECT_EQ(Decode(fragment(kProtoIcmp), kProtoIcmp, 3, kFirstRun),
            (Entries{"packets source:", "", "packet3 icmp", "fragment offset = 1480", ""}));
  EXPECT_EQ(Decode(fragment(kProtoIgmp), kProtoIgmp, 3, kFirstRun),
            (Entries{"packets source:", "", "packet3 igmp", "fragment offset = 1480", ""}));
  // Raw and unknown datagrams show their header line only, fragment or not.
  EXPECT_EQ(Decode(fragment(kProtoRaw), kProtoRaw, 3, kFirstRun),
            (Entries{"packets source:", "", "packet3 raw", ""}));
  EXPECT_EQ(Decode(fragment(47), 47, 3, kFirstRun),
            (Entries{"packets source:", "", "packet3 unknown", ""}));
  // A first fragment (offset 0, more fragments) is decoded as a whole datagram.
  std::vector<uint8_t> first = fragment(kProtoUdp);
  first[7] = 0;
  EXPECT_EQ(Decode(first, kProtoUdp, 3, kFirstRun)[3], "sourse port = 16706 ");
}

TEST(ShortDatagrams, NegativePayloadLengthIsShownWithoutAView) {
  // 36 stored bytes of a segment with a 32-byte TCP header: P = 36 - 20 - 32.
  std::vector<uint8_t> tcp = FixtureBytes(test::kTcpHttpRequest);
  tcp.resize(36);
  DetailReport report;
  BuildDetailReport(tcp.data(), tcp.size(), kProtoTcp, 0, kAsciiAndHex, report);
  EXPECT_TRUE(report.fields_past_end);
  EXPECT_EQ(report.entries,
            Plus({"packets source:", "", "packet0 tcp", "sourse port = 54644",
                  "destination port = 18080",
                  "checksum = 0",  // bytes 16-17 of the segment lie past the end
                  "acknowledgement number = 4196629581", "sequence number = 4253539930",
                  "window size = 64"},
                 Plus(FlagLines(0, 1, 1, 0, 0, 0), {"data length = -16", ""})));

  // A field cut in the middle keeps its stored bytes; the missing ones are 0.
  tcp.resize(30);
  BuildDetailReport(tcp.data(), tcp.size(), kProtoTcp, 0, kAsciiAndHex, report);
  EXPECT_EQ(report.entries[6], "acknowledgement number = 4196597760");  // fa 23 00 00
  EXPECT_EQ(report.entries[9], "invalid flags");

  std::vector<uint8_t> udp(24, 0x45);   // H = 20, 4 bytes of UDP header
  udp[6] = udp[7] = 0;                  // not a fragment
  EXPECT_EQ(PayloadEntries(udp, kProtoUdp), (Entries{"data length = -4"}));
}

TEST(ShortDatagrams, HeaderLengthPastTheEndReadsZeros) {
  std::vector<uint8_t> d = FixtureBytes(test::kUdpAbcdefgh);
  d[0] = 0x4F;  // 60-byte IP header in a 36-byte datagram
  DetailReport report;
  BuildDetailReport(d.data(), d.size(), kProtoUdp, 0, kFirstRun, report);
  EXPECT_EQ(report.entries, (Entries{"packets source:", "", "packet0 udp ", "sourse port = 0 ",
                                     "destination port = 0 ", "checksum = 0",
                                     "data length = -32", ""}));
  EXPECT_TRUE(report.fields_past_end);

  // An ICMP error whose carried header was cut off.
  std::vector<uint8_t> icmp = FixtureBytes(test::kIcmpPortUnreachable);
  icmp.resize(20 + 8 + 14);  // carried header ends inside its source address
  EXPECT_EQ(IcmpLines(icmp), (Entries{"Destination Unreachable (3)", "Port unreachable,",
                                      "source 127.0.0.0:0", "destination 0.0.0.0:0"}));
}

}  // namespace
}  // namespace pw
