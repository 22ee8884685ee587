#include "decode/detail_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "capture/filter.h"
#include "decode/report_text.h"
#include "tests/detail_fixtures.h"

namespace pw {
namespace {

using test::Fixture;
using test::FixtureBytes;
using test::StoreFiller;
using Entries = std::vector<std::string>;

std::string Repeat(std::string_view piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

// `head` followed by `rest`, in a buffer of exactly their length.
std::vector<uint8_t> Concat(std::initializer_list<uint8_t> head, const std::vector<uint8_t>& rest) {
  std::vector<uint8_t> d(head.size() + rest.size());
  std::copy(head.begin(), head.end(), d.begin());
  std::copy(rest.begin(), rest.end(), d.begin() + static_cast<long>(head.size()));
  return d;
}

Entries Plus(Entries a, const Entries& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

constexpr PayloadViewFlags kFirstRun{false, true, false};  // text view, hex only UDP
constexpr PayloadViewFlags kAsciiAndHex{true, false, true};
constexpr PayloadViewFlags kTextAndHex{false, true, true};
constexpr PayloadViewFlags kNoViews{false, false, false};  // settings never loaded

// Stores `fixture` as its packet index behind short filler datagrams and
// decodes it through the store, as "packets in details" does.
DetailReport DecodeStored(const Fixture& fixture, const PayloadViewFlags& flags) {
  auto store = std::make_unique<CaptureStore>();
  StoreFiller filler(*store);
  const std::vector<uint8_t> pad = FixtureBytes(test::kRaw);
  for (uint32_t k = 0; k < fixture.index; ++k) filler.Add(pad, kProtoRaw);
  filler.Add(FixtureBytes(fixture), fixture.protocol);
  store->selected_index = static_cast<int32_t>(fixture.index);
  DetailReport report;
  EXPECT_EQ(DecodeSelectedPacket(*store, flags, report), DecodeResult::kReport);
  return report;
}

Entries Decode(const std::vector<uint8_t>& bytes, uint8_t protocol, uint32_t index,
               const PayloadViewFlags& flags) {
  DetailReport report;
  BuildDetailReport(bytes.data(), bytes.size(), protocol, index, flags, report);
  return report.entries;
}

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
    EXPECT_EQ(report.select_index, 2);
    EXPECT_EQ(report.scroll_index, std::min<int>(9, static_cast<int>(g.entries.size()) - 1));
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

// ---- The store, the selected index and the selection -----------------------

class DecodeStoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<CaptureStore> store_ = std::make_unique<CaptureStore>();
  DetailReport report_;
};

TEST_F(DecodeStoreTest, EmptyStoreGivesNoDataAndLeavesTheIndexAlone) {
  ResetCaptureStore(*store_);
  store_->selected_index = -1;
  report_.entries = {"left over"};
  EXPECT_EQ(DecodeSelectedPacket(*store_, kFirstRun, report_), DecodeResult::kNoData);
  EXPECT_TRUE(report_.entries.empty());
  EXPECT_EQ(store_->selected_index, -1);
  EXPECT_STREQ(kNoDataRow, "don't found data!");
}

TEST_F(DecodeStoreTest, NoSelectionDecodesPacketZeroAndWritesZeroBack) {
  StoreFiller filler(*store_);
  filler.Add(FixtureBytes(test::kUdpAbcdefgh), kProtoUdp);
  filler.Add(FixtureBytes(test::kRaw), kProtoRaw);
  store_->selected_index = -1;
  ASSERT_EQ(DecodeSelectedPacket(*store_, kFirstRun, report_), DecodeResult::kReport);
  EXPECT_EQ(store_->selected_index, 0);
  EXPECT_EQ(report_.entries[2], "packet0 udp ");
}

TEST_F(DecodeStoreTest, PacketOneIsReadBehindAFirstDatagramOfSixtyBytes) {
  StoreFiller filler(*store_);
  std::vector<uint8_t> first = FixtureBytes(test::kTcpSyn);
  ASSERT_EQ(first.size(), 60u);
  filler.Add(first, kProtoTcp);
  filler.Add(FixtureBytes(test::kIcmpEchoRequest), kProtoIcmp);
  store_->selected_index = 1;
  ASSERT_EQ(DecodeSelectedPacket(*store_, kFirstRun, report_), DecodeResult::kReport);
  EXPECT_EQ(report_.entries, (Entries{"packets source:", "", "packet1 icmp", "Echo Request (8)", ""}));
}

TEST_F(DecodeStoreTest, IndexOfAnEarlierCaptureIsRefused) {
  StoreFiller first(*store_);
  for (int k = 0; k < 5; ++k) first.Add(FixtureBytes(test::kTcpSyn), kProtoTcp);
  StoreFiller second(*store_);  // "go!": reset, length table kept
  second.Add(FixtureBytes(test::kRaw), kProtoRaw);
  second.Add(FixtureBytes(test::kRaw), kProtoRaw);
  for (int32_t index : {2, 4, 9999, 16383, 16384, -2, INT32_MIN}) {
    store_->selected_index = index;
    EXPECT_EQ(DecodeSelectedPacket(*store_, kFirstRun, report_), DecodeResult::kNoData) << index;
    EXPECT_TRUE(report_.entries.empty());
  }
  store_->selected_index = 1;
  EXPECT_EQ(DecodeSelectedPacket(*store_, kFirstRun, report_), DecodeResult::kReport);
}

TEST_F(DecodeStoreTest, RawPacketSevenMakesFourEntriesWithTheThirdSelected) {
  StoreFiller filler(*store_);
  for (int k = 0; k < 8; ++k) filler.Add(FixtureBytes(test::kRaw), kProtoRaw);
  store_->selected_index = 7;
  ASSERT_EQ(DecodeSelectedPacket(*store_, kFirstRun, report_), DecodeResult::kReport);
  EXPECT_EQ(report_.entries, (Entries{"packets source:", "", "packet7 raw", ""}));
  EXPECT_EQ(report_.select_index, 2);
  EXPECT_EQ(report_.scroll_index, 3);  // 2 + 7 lies past the end: the last entry
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

// ---- Cutting into entries --------------------------------------------------

TEST(CutIntoEntries, CarriageReturnFirstLineFeedOnlyWhenNoneIsLeft) {
  const struct {
    std::string_view text;
    Entries entries;
  } cases[] = {
      {"", {""}},
      {"a", {"a"}},
      {"a\r\n", {"a", ""}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb\r", {"a", "b", ""}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"a\r\n\nb", {"a", "", "b"}},        // one line feed is skipped, not two
      {"a\nb\r\nc", {"a\nb", "c"}},        // a line feed before a later CR stays
      {"a\n\rb", {"a\n", "b"}},
      {"a\nb\nc", {"a", "b", "c"}},        // no CR at all: line feeds cut
      {"a\r\nb\nc\n", {"a", "b", "c", ""}},  // after the last CR, line feeds cut
      {"\r\n\r\n", {"", "", ""}},
  };
  for (const auto& c : cases) {
    Entries entries{"stale"};
    CutIntoEntries(c.text, entries);
    EXPECT_EQ(entries, c.entries) << testing::PrintToString(std::string(c.text));
  }
}

TEST(FindEntryWithPrefix, FirstEntryBeginningWithTheTextIgnoringCase) {
  const Entries entries = {"packets source:", "", "PACKET12 tcp", "packet1 tcp", "packet1"};
  EXPECT_EQ(FindEntryWithPrefix(entries, "packet1"), 2);  // "PACKET12" begins with it
  EXPECT_EQ(FindEntryWithPrefix(entries, "Packet1 "), 3);
  EXPECT_EQ(FindEntryWithPrefix(entries, "packets"), 0);
  EXPECT_EQ(FindEntryWithPrefix(entries, "packet1 tcp!"), -1);
  EXPECT_EQ(FindEntryWithPrefix({}, "packet0"), -1);
}

// ---- TCP flags and MSS -----------------------------------------------------

std::vector<uint8_t> TcpSegment(uint8_t flags, std::vector<uint8_t> options = {},
                                const std::vector<uint8_t>& payload = {}) {
  const auto data_offset = static_cast<uint8_t>((20 + options.size()) / 4 << 4);
  options.insert(options.end(), payload.begin(), payload.end());
  return Concat({0x45, 0, 0, 0, 0, 0, 0, 0, 64, kProtoTcp, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2,
                 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, data_offset, flags, 0, 0, 0, 0, 0, 0},
                options);
}

// The entries after the eight header lines and before the final empty one.
Entries AfterTcpHeader(const std::vector<uint8_t>& d, const PayloadViewFlags& flags = kFirstRun) {
  Entries e = Decode(d, kProtoTcp, 0, flags);
  return Entries(e.begin() + 9, e.end() - 1);
}

Entries FlagLines(bool urg, bool ack, bool psh, bool rst, bool syn, bool fin) {
  auto line = [](const char* name, bool on) { return std::string(name) + (on ? " = True" : " = False"); };
  return {line("URG", urg), line("ACK", ack), line("PSH", psh),
          line("RST", rst), line("SYN", syn), line("FIN", fin)};
}

TEST(TcpFlags, ThirteenWholeByteValuesHaveSixLinesEveryOtherIsInvalid) {
  const struct {
    uint8_t value;
    Entries lines;
  } known[] = {
      {0x01, FlagLines(0, 0, 0, 0, 0, 1)}, {0x02, FlagLines(0, 0, 0, 0, 1, 0)},
      {0x04, FlagLines(0, 0, 0, 1, 0, 0)}, {0x08, FlagLines(0, 0, 1, 0, 0, 0)},
      {0x10, FlagLines(0, 1, 0, 0, 0, 0)}, {0x11, FlagLines(0, 1, 0, 0, 0, 1)},
      {0x12, FlagLines(0, 1, 0, 0, 1, 0)}, {0x14, FlagLines(0, 1, 0, 1, 0, 0)},
      {0x15, FlagLines(0, 1, 0, 1, 0, 1)}, {0x18, FlagLines(0, 1, 1, 0, 0, 0)},
      {0x19, FlagLines(0, 1, 1, 0, 0, 1)}, {0x20, FlagLines(1, 0, 0, 0, 0, 0)},
      {0xA2, FlagLines(1, 0, 0, 0, 1, 0)},
  };
  int recognised = 0;
  for (int v = 0; v < 256; ++v) {
    const auto value = static_cast<uint8_t>(v);
    Entries expected = {"invalid flags"};
    for (const auto& k : known) {
      if (k.value == value) expected = k.lines;
    }
    recognised += expected.size() == 6;
    EXPECT_EQ(AfterTcpHeader(TcpSegment(value)), expected) << "flags " << v;
  }
  EXPECT_EQ(recognised, 13);
}

TEST(TcpFlags, MssLineOnlyWhenTheFirstOptionIsMss) {
  EXPECT_EQ(AfterTcpHeader(TcpSegment(0x02, {2, 4, 2, 0x18})).back(), "MSS = 536");
  // The option's length byte is not examined.
  EXPECT_EQ(AfterTcpHeader(TcpSegment(0x02, {2, 0, 0xFF, 0xFF})).back(), "MSS = 65535");
  // Options that begin with no-operation bytes: no MSS line.
  EXPECT_EQ(AfterTcpHeader(TcpSegment(0x02, {1, 1, 2, 4, 2, 0x18, 0, 0})).size(), 6u);
  // A 20-byte header: the first payload byte is no option, whatever it is.
  EXPECT_EQ(AfterTcpHeader(TcpSegment(0x02, {}, {2, 4, 2, 0x18}), kNoViews),
            Plus(FlagLines(0, 0, 0, 0, 1, 0), {"data length = 4"}));
}

// ---- ICMP names ------------------------------------------------------------

std::vector<uint8_t> IcmpMessage(uint8_t type, uint8_t code, const std::vector<uint8_t>& rest) {
  return Concat({0x45, 0, 0, 0, 0, 0, 0, 0, 64, kProtoIcmp, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2,
                 type, code, 0, 0, 0, 0, 0, 0},
                rest);
}

// The ICMP entries after the header line, without the final empty entry.
Entries IcmpLines(const std::vector<uint8_t>& d) {
  Entries e = Decode(d, kProtoIcmp, 0, kFirstRun);
  EXPECT_EQ(e[2], "packet0 icmp");
  return Entries(e.begin() + 3, e.end() - 1);
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

// ---- Payload views ---------------------------------------------------------

std::vector<uint8_t> UdpWithPayload(const std::vector<uint8_t>& payload) {
  return Concat({0x45, 0, 0, 0, 0, 0, 0, 0, 64, kProtoUdp, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2,
                 0, 1, 0, 2, 0, 0, 0, 0},
                payload);
}

// The entries of the payload part: from the "data length" line on, without
// the final empty entry.
Entries PayloadEntries(const std::vector<uint8_t>& d, uint8_t protocol,
                       const PayloadViewFlags& flags = kFirstRun) {
  const Entries e = Decode(d, protocol, 0, flags);
  size_t at = 0;
  while (at < e.size() && e[at].rfind("data length = ", 0) != 0) ++at;
  EXPECT_EQ(e.back(), "");
  return Entries(e.begin() + static_cast<long>(std::min(at, e.size() - 1)), e.end() - 1);
}

TEST(PayloadViews, AsciiAndHexLineLengths) {
  EXPECT_EQ(PayloadEntries(UdpWithPayload(std::vector<uint8_t>(64, 'a')), kProtoUdp),
            (Entries{"data length = 64", "data in ASCII view:", std::string(64, 'a'), "",
                     "data in HEX view:", Repeat("61 ", 32), Repeat("61 ", 32), ""}));
  std::vector<uint8_t> p65(64, 'b');
  p65.push_back('c');
  const Entries e65 = PayloadEntries(UdpWithPayload(p65), kProtoUdp);
  EXPECT_EQ(e65[2], std::string(64, 'b'));
  EXPECT_EQ(e65[3], "c");
  EXPECT_EQ(e65[4], "data in HEX view:");
  const Entries e33 = PayloadEntries(UdpWithPayload(std::vector<uint8_t>(33, 'b')), kProtoUdp);
  EXPECT_EQ(e33[2], std::string(33, 'b'));
  EXPECT_EQ(e33[4], Repeat("62 ", 32));
  EXPECT_EQ(e33[5], "62 ");
}

TEST(PayloadViews, BytesGoInAsTheyAreZeroShowsNothingHexIsLowercase) {
  EXPECT_EQ(PayloadEntries(UdpWithPayload({0x41, 0x00, 0x42}), kProtoUdp),
            (Entries{"data length = 3", "data in ASCII view:", "AB", "data in HEX view:",
                     "41 00 42 "}));
  EXPECT_EQ(PayloadEntries(UdpWithPayload({0xAB, 0x01, 0x7F, 0x80, 0xFF, '\t'}), kProtoUdp),
            (Entries{"data length = 6", "data in ASCII view:", "\xab\x01\x7f\x80\xff\t",
                     "data in HEX view:", "ab 01 7f 80 ff 09 "}));
  // A zero-only payload still gets its views, with an empty ASCII line.
  EXPECT_EQ(PayloadEntries(UdpWithPayload({0, 0}), kProtoUdp),
            (Entries{"data length = 2", "data in ASCII view:", "", "data in HEX view:",
                     "00 00 "}));
}

TEST(PayloadViews, TcpViewsFollowTheOptions) {
  const std::vector<uint8_t> d = TcpSegment(0x18, {}, {'h', 'i', 0, 'x', '\r', '\n'});
  const Entries text = {"data length = 6", "data in a text view:", "hi"};
  const Entries ascii = {"data length = 6", "data in ASCII view:", "hix", ""};
  const Entries hex = {"data in HEX view:", "68 69 00 78 0d 0a "};
  EXPECT_EQ(PayloadEntries(d, kProtoTcp, kFirstRun), text);  // up to the zero byte
  EXPECT_EQ(PayloadEntries(d, kProtoTcp, kTextAndHex), Plus(text, hex));
  EXPECT_EQ(PayloadEntries(d, kProtoTcp, kAsciiAndHex), Plus(ascii, hex));
  EXPECT_EQ(PayloadEntries(d, kProtoTcp, {true, true, false}), ascii);  // ASCII wins
  EXPECT_EQ(PayloadEntries(d, kProtoTcp, {false, false, true}),
            Plus({"data length = 6"}, hex));
  EXPECT_EQ(PayloadEntries(d, kProtoTcp, kNoViews), (Entries{"data length = 6"}));
  // No payload: the block ends with the flags text.
  EXPECT_EQ(AfterTcpHeader(TcpSegment(0x10), kAsciiAndHex), FlagLines(0, 1, 0, 0, 0, 0));
}

TEST(PayloadViews, SettingsRecordFlagsMapToTheViewOptions) {
  SettingsRecord settings;
  settings.TcpDataInAsciiView = true;
  settings.DataInHexViewTcpAndUdp = true;
  settings.DataInHexViewOnlyUdp = true;  // read by nobody here
  const PayloadViewFlags flags = PayloadViewFlagsOf(settings);
  EXPECT_TRUE(flags.tcp_ascii);
  EXPECT_FALSE(flags.tcp_text);
  EXPECT_TRUE(flags.tcp_hex);
}

// ---- Short datagrams: fields past the end read as 0 -------------------------

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

  const std::vector<uint8_t> udp(24, 0x45);   // H = 20, 4 bytes of UDP header
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

// ---- The report's capacity -------------------------------------------------

struct CutView {
  size_t lines = 0;        // entries between the heading and the cut line
  long long not_shown = -1;  // from the cut line; -1 when the view was whole
};

// Finds the view with `heading` and reads how it ends.
CutView ReadView(const Entries& e, const std::string& heading) {
  CutView view;
  size_t at = 0;
  while (at < e.size() && e[at] != heading) ++at;
  EXPECT_LT(at, e.size()) << heading;
  for (++at; at < e.size(); ++at) {
    long long n = 0;
    if (std::sscanf(e[at].c_str(), "rest of data cut: %lld bytes not shown", &n) == 1) {
      view.not_shown = n;
      break;
    }
    if (e[at].rfind("data in ", 0) == 0 || at + 1 == e.size()) break;
    ++view.lines;
  }
  return view;
}

size_t ReportSize(const std::vector<uint8_t>& d, uint8_t protocol, const PayloadViewFlags& flags) {
  auto text = std::make_unique<ReportText>();
  BuildReportText(ByteView(d.data(), d.size()), protocol, 0, flags, *text);
  EXPECT_EQ(text->view().substr(text->size() - 2), "\r\n");
  return text->size();
}

TEST(ReportCapacity, LargestUdpDatagramShowsTheStartOfBothViews) {
  std::vector<uint8_t> d = UdpWithPayload(std::vector<uint8_t>(65535 - 28, 'a'));
  const size_t payload = d.size() - 28;
  EXPECT_LE(ReportSize(d, kProtoUdp, kFirstRun), kReportCapacity - 1);
  const Entries e = Decode(d, kProtoUdp, 0, kFirstRun);
  EXPECT_EQ(e.back(), "");
  const CutView ascii = ReadView(e, "data in ASCII view:");
  const CutView hex = ReadView(e, "data in HEX view:");
  // Whole lines only, and the cut line counts what is missing.
  EXPECT_GT(ascii.lines, 250u);
  EXPECT_EQ(ascii.lines * 64 + static_cast<size_t>(ascii.not_shown), payload);
  EXPECT_GT(hex.lines, 150u);
  EXPECT_EQ(hex.lines * 32 + static_cast<size_t>(hex.not_shown), payload);
  EXPECT_EQ(e[e.size() - 2], "rest of data cut: " + std::to_string(hex.not_shown) +
                                 " bytes not shown");
  EXPECT_EQ(e[e.size() - 3], Repeat("61 ", 32));
}

TEST(ReportCapacity, ViewsThatFitAreNotCut) {
  // 9,000 payload bytes: both views whole. 10,000: the hex view is cut, the
  // ASCII view (the first of two, within half the room) is not.
  const std::vector<uint8_t> fits = UdpWithPayload(std::vector<uint8_t>(9000, 'z'));
  const Entries e = Decode(fits, kProtoUdp, 0, kFirstRun);
  EXPECT_EQ(ReadView(e, "data in ASCII view:").not_shown, -1);
  EXPECT_EQ(ReadView(e, "data in HEX view:").not_shown, -1);
  EXPECT_EQ(ReadView(e, "data in HEX view:").lines, 282u);  // 281 full lines and 8 bytes

  const std::vector<uint8_t> cut = UdpWithPayload(std::vector<uint8_t>(10000, 'z'));
  const Entries c = Decode(cut, kProtoUdp, 0, kFirstRun);
  EXPECT_EQ(ReadView(c, "data in ASCII view:").not_shown, -1);
  const CutView hex = ReadView(c, "data in HEX view:");
  EXPECT_GT(hex.not_shown, 0);
  EXPECT_EQ(hex.lines * 32 + static_cast<size_t>(hex.not_shown), 10000u);
  EXPECT_LE(ReportSize(cut, kProtoUdp, kFirstRun), kReportCapacity - 1);
}

TEST(ReportCapacity, ZeroBytesCostNothingInTheAsciiView) {
  // 30,000 zero bytes make 469 empty ASCII lines: the view fits whole.
  const std::vector<uint8_t> d = TcpSegment(0x18, {}, std::vector<uint8_t>(30000, 0));
  const Entries e = Decode(d, kProtoTcp, 0, {true, false, false});
  EXPECT_EQ(ReadView(e, "data in ASCII view:").not_shown, -1);
  EXPECT_EQ(e.size(), 9u + 6 + 2 + 469 + 1);
}

TEST(ReportCapacity, TextViewIsCutBehindTheLastLineThatFits) {
  std::string text;
  for (int i = 0; text.size() < 60000; ++i) text += "line " + std::to_string(10000 + i) + "\r\n";
  const std::vector<uint8_t> d = TcpSegment(0x18, {}, std::vector<uint8_t>(text.begin(), text.end()));
  EXPECT_LE(ReportSize(d, kProtoTcp, kFirstRun), kReportCapacity - 1);
  const Entries e = Decode(d, kProtoTcp, 0, kFirstRun);
  const CutView view = ReadView(e, "data in a text view:");
  ASSERT_GT(view.not_shown, 0);
  // Cut behind a carriage return, with or without its line feed.
  const size_t shown = text.size() - static_cast<size_t>(view.not_shown);
  EXPECT_TRUE(shown % 12 == 0 || shown % 12 == 11) << shown;
  EXPECT_EQ((shown + 1) / 12, view.lines);
  EXPECT_EQ(e[e.size() - 3].size(), 10u);  // a whole "line NNNNN"

  // Without line ends the text is cut where the room ends, and its line is
  // ended before the cut line.
  const std::vector<uint8_t> run = TcpSegment(0x18, {}, std::vector<uint8_t>(50000, 'q'));
  const Entries r = Decode(run, kProtoTcp, 0, kFirstRun);
  const CutView one = ReadView(r, "data in a text view:");
  EXPECT_EQ(one.lines, 1u);
  EXPECT_EQ(r[r.size() - 3].size() + static_cast<size_t>(one.not_shown), 50000u);
  EXPECT_LE(ReportSize(run, kProtoTcp, kTextAndHex), kReportCapacity - 1);
}

TEST(ReportText, NeverGrowsPastItsCapacity) {
  auto text = std::make_unique<ReportText>();
  const std::string chunk(1000, 'x');
  while (text->Append(chunk)) {
  }
  EXPECT_EQ(text->size(), kReportCapacity - 1);
  EXPECT_FALSE(text->AppendFormat("%d", 5));
  EXPECT_FALSE(text->Append("y"));
  EXPECT_EQ(text->size(), kReportCapacity - 1);
}

}  // namespace
}  // namespace pw
