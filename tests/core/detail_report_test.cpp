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

// The specified lines of a report: without the lines added behind them
// (after the flags text and MSS line of tcp, the checksum line of udp, the
// group address line of igmp, the lines without " = " of icmp, the header
// line of raw) up to the payload part.
Entries SpecifiedLines(Entries e) {
  const std::string& header = e[2];
  const char* first = header.ends_with(" tcp")    ? "flags = "
                      : header.ends_with(" udp ") ? "length = "
                      : header.ends_with(" igmp") ? "message = "
                                                  : "version = ";
  auto from = std::find_if(e.begin() + 3, e.end(), [&](const std::string& s) {
    return s.rfind(first, 0) == 0 ||
           (header.ends_with(" icmp") && s.find(" = ") != std::string::npos);
  });
  auto to = std::find_if(from, e.end() - 1,
                         [](const std::string& s) { return s.rfind("data length = ", 0) == 0; });
  e.erase(from, to);
  return e;
}

TEST(DetailReportGolden, EveryFixtureDecodesToItsEntries) {
  for (const Golden& g : GoldenTable()) {
    SCOPED_TRACE(g.fixture->name);
    const DetailReport report = DecodeStored(*g.fixture, g.flags);
    EXPECT_EQ(SpecifiedLines(report.entries), g.entries);
    EXPECT_FALSE(report.fields_past_end);
  }
}

// The lines added behind the specified ones, for a datagram of each
// protocol: the transport's own, then the IPv4 header's.
TEST(DetailReportGolden, AddedLinesOfEachProtocol) {
  const Entries ipv4_of_syn = {
      "version = 4", "header length = 20", "dscp = 0", "ecn = 0", "total length = 60",
      "identification = 0xd08c (53388)", "don't fragment = 1", "more fragments = 0",
      "fragment offset = 0", "time to live = 64", "protocol = 6",
      "ip header checksum = 0x6c2d (correct)", "source = 127.0.0.1", "destination = 127.0.0.1"};
  const Entries tcp = {"flags = 0x002 (SYN)", "header length = 40", "urgent pointer = 0",
                       "option mss = 65495", "option = sack permitted",
                       "option timestamp value = 4096653565", "option timestamp echo reply = 0",
                       "option = no-op", "option window scale = 10 (multiply by 1024)",
                       "tcp checksum = 0xfe30 (incorrect, should be 0x6adc)"};
  const Entries syn = DecodeStored(kTcpSyn, kFirstRun).entries;
  EXPECT_EQ(Entries(syn.begin() + 16, syn.end() - 1), Plus(tcp, ipv4_of_syn));

  const Entries udp = DecodeStored(kUdpAbcdefgh, kFirstRun).entries;
  EXPECT_EQ(Between(udp, "length = ", "version = "),
            (Entries{"length = 16", "udp checksum = 0x1234 (incorrect, should be 0xaa48)"}));
  const Entries igmp = DecodeStored(kIgmpV2Report, kFirstRun).entries;
  EXPECT_EQ(Between(igmp, "message = ", "version = "),
            (Entries{"message = v2 membership report", "max response time = 0 (0.0 s)",
                     "igmp checksum = 0x0904 (correct)"}));
  // IPv4 options by name, with their values.
  EXPECT_EQ(Between(igmp, "ip option", "\x01"),
            (Entries{"ip option = router alert", "router alert = 0"}));
  const Entries unreachable = DecodeStored(kIcmpPortUnreachable, kFirstRun).entries;
  EXPECT_EQ(Between(unreachable, "icmp checksum", "version = "),
            (Entries{"icmp checksum = 0x08c3 (correct)", "carried protocol = 17",
                     "carried source = 127.0.0.1", "carried destination = 127.0.0.1",
                     "carried source port = 40000", "carried destination port = 15354"}));
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
  EXPECT_EQ(SpecifiedLines(Decode(d, kProtoIgmp, 3, kFirstRun)),
            (Entries{"packets source:", "", "packet3 igmp", "version = 1", "type = 2",
                     "cheksum = 258", "group adddress = 239.255.255.250", ""}));
}

// A v3 report's records: the first 16 shown, the rest counted; a record
// that was not stored whole ends the block with the cut line.
TEST(DetailReport, IgmpV3RecordsAreBoundedAndCut) {
  std::vector<uint8_t> records;
  for (int k = 0; k < 20; ++k) records.insert(records.end(), {1, 0, 0, 0, 239, 0, 0, uint8_t(k)});
  std::vector<uint8_t> d = Concat({0x45, 0, 0, 0, 0, 0, 0, 0, 1, kProtoIgmp, 0, 0, 10, 0, 0, 1,
                                   224, 0, 0, 22, 0x22, 0, 0, 0, 0, 0, 0, 20},
                                  records);
  Entries e = Decode(d, kProtoIgmp, 0, kFirstRun);
  EXPECT_EQ(std::count(e.begin(), e.end(), "record type = 1 (mode is include)"), 16);
  EXPECT_EQ(Between(e, "further", "igmp checksum")[0], "further group records not shown: 4");
  d.resize(20 + 8 + 8 + 5);
  e = Decode(d, kProtoIgmp, 0, kFirstRun);
  EXPECT_EQ(Between(e, "record multicast address = 239.0.0.0", "version = "),
            (Entries{"record multicast address = 239.0.0.0", "record number of sources = 0",
                     "igmp header cut: 24 bytes needed, 21 stored"}));
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
  // The IPv4 lines stand between the fragment offset and the payload part.
  auto decode = [](const std::vector<uint8_t>& d, uint8_t protocol) {
    return Without(Decode(d, protocol, 3, kFirstRun), "version = ", "data length = ");
  };
  const Entries udp = {"packets source:", "", "packet3 udp ", "fragment offset = 1480",
                       "data length = 8", "data in ASCII view:", "ABCDEFGH",
                       "data in HEX view:", "41 42 43 44 45 46 47 48 ", ""};
  EXPECT_EQ(decode(fragment(kProtoUdp), kProtoUdp), udp);
  const Entries tcp = {"packets source:", "", "packet3 tcp", "fragment offset = 1480",
                       "data length = 8", "data in a text view:", "ABCDEFGH", ""};
  EXPECT_EQ(decode(fragment(kProtoTcp), kProtoTcp), tcp);
  EXPECT_EQ(decode(fragment(kProtoIcmp), kProtoIcmp),
            (Entries{"packets source:", "", "packet3 icmp", "fragment offset = 1480", ""}));
  EXPECT_EQ(decode(fragment(kProtoIgmp), kProtoIgmp),
            (Entries{"packets source:", "", "packet3 igmp", "fragment offset = 1480", ""}));
  // Raw and unknown datagrams show their header line only, fragment or not.
  EXPECT_EQ(decode(fragment(kProtoRaw), kProtoRaw),
            (Entries{"packets source:", "", "packet3 raw", ""}));
  EXPECT_EQ(decode(fragment(47), 47),
            (Entries{"packets source:", "", "packet3 unknown", ""}));
  // A first fragment (offset 0, more fragments) is decoded as a whole datagram.
  std::vector<uint8_t> first = fragment(kProtoUdp);
  first[7] = 0;
  EXPECT_EQ(Decode(first, kProtoUdp, 3, kFirstRun)[3], "sourse port = 16706 ");
}

// A field whose bytes were not stored gets no line: its header's block ends
// with one line saying the header is cut. The IPv4 lines follow, and a
// negative data length says how far the stored bytes fall short.
TEST(ShortDatagrams, CutHeaderEndsItsBlockWithOneLine) {
  const std::vector<uint8_t> request = FixtureBytes(test::kTcpHttpRequest);
  const std::vector<uint8_t> syn = FixtureBytes(test::kTcpSyn);
  auto prefix = [](const std::vector<uint8_t>& d, size_t n) {
    return std::vector<uint8_t>(d.begin(), d.begin() + static_cast<long>(n));
  };
  const Entries ports = {"sourse port = 54644", "destination port = 18080"};
  const struct {
    std::vector<uint8_t> bytes;
    uint8_t protocol;
    Entries lines;  // from the header line on, without the IPv4 lines
  } cases[] = {
      {prefix(request, 26), kProtoTcp,
       Plus(ports, {"tcp header cut: 20 bytes needed, 6 stored", "data length = -14"})},
      {prefix(request, 36), kProtoTcp,
       Plus(ports, {"tcp header cut: 20 bytes needed, 16 stored", "data length = -16"})},
      // Options cut in the timestamps option: those before it are shown.
      {prefix(syn, 50), kProtoTcp,
       Plus(Plus(Entries{"sourse port = 54644", "destination port = 18080", "checksum = 65072",
                         "acknowledgement number = 0", "sequence number = 4253539929",
                         "window size = 65495"},
                 FlagLines(0, 0, 0, 0, 1, 0)),
            {"MSS = 65495", "flags = 0x002 (SYN)", "header length = 40", "urgent pointer = 0",
             "option mss = 65495", "option = sack permitted",
             "tcp header cut: 40 bytes needed, 30 stored", "data length = -10"})},
      {prefix(FixtureBytes(test::kUdpAbcdefgh), 24), kProtoUdp,
       {"sourse port = 12345 ", "destination port = 53 ",
        "udp header cut: 8 bytes needed, 4 stored", "data length = -4"}},
      {prefix(FixtureBytes(test::kIgmpV2Report), 30), kProtoIgmp,
       {"version = 1", "type = 6", "cheksum = 2308", "igmp header cut: 8 bytes needed, 6 stored"}},
      // An ICMP error whose carried header ends inside its source address.
      {prefix(FixtureBytes(test::kIcmpPortUnreachable), 42), kProtoIcmp,
       {"Destination Unreachable (3)", "Port unreachable,",
        "carried ip header cut: 20 bytes needed, 14 stored"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    const Entries e = Without(Decode(c.bytes, c.protocol, 0, kAsciiAndHex), "version = 4",
                              "data length = ");
    EXPECT_EQ(Entries(e.begin() + 3, e.end() - 1), c.lines);
  }
}

TEST(ShortDatagrams, CutIpHeaderEndsTheIpv4Lines) {
  std::vector<uint8_t> d = FixtureBytes(test::kUdpAbcdefgh);
  d.resize(14);
  EXPECT_EQ(Decode(d, kProtoUdp, 0, kFirstRun),
            (Entries{"packets source:", "", "packet0 udp ", "udp header cut: 8 bytes needed, 0 stored",
                     "version = 4", "header length = 20", "dscp = 0", "ecn = 0",
                     "total length = 36", "identification = 0x0001 (1)", "don't fragment = 0",
                     "more fragments = 0", "fragment offset = 0", "time to live = 64",
                     "protocol = 17",
                     "ip header checksum = 0x0000 (cannot be checked, 6 bytes not stored)",
                     "ip header cut: 20 bytes needed, 14 stored", "data length = -14", ""}));
}

// A header length field under 5: no transport header can be found, and the
// IPv4 lines say the length is bad.
TEST(ShortDatagrams, BadIpHeaderLengthDecodesNoTransportHeader) {
  std::vector<uint8_t> d = FixtureBytes(test::kUdpAbcdefgh);
  d[0] = 0x44;
  EXPECT_EQ(Decode(d, kProtoUdp, 0, kFirstRun),
            (Entries{"packets source:", "", "packet0 udp ",
                     "udp header not decoded: ip header length under 20 bytes", "version = 4",
                     "header length = 16", "ip header length bad: under 20 bytes", ""}));
}

}  // namespace
}  // namespace pw
