#include "files/capture_file_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "engine/packet_source.h"
#include "support/capture_file_builder.h"
#include "support/capture_files.h"
#include "support/datagram_builder.h"

namespace pw {
namespace {

using test::MakeDatagram;
using test::Bytes;
using test::Datagram;
using test::ReadAll;
using test::ReadResult;

const Bytes kUdp = MakeDatagram({.protocol = 17, .source_port = 53, .destination_port = 4000,
                                 .payload_length = 100});
const Bytes kIcmp = MakeDatagram({.protocol = 1, .ttl = 255});
const Bytes kTcp = MakeDatagram({.protocol = 6, .payload_length = 7});

// Version 5: bytes that are no IP datagram, whatever the link announces.
Bytes NotIp(Bytes d) {
  d[0] = 0x50;
  return d;
}

TEST(CaptureFileReader, ClassicPcapInEveryByteOrderResolutionAndLinkType) {
  struct LinkCase {
    const char* name;
    uint32_t link_type;
    Bytes udp, icmp, other;  // `other` carries no IP
  } links[] = {
      {"ethernet", 1, test::EthernetFrame(kUdp), test::EthernetFrame(kIcmp, 0x0800, 2),
       test::EthernetFrame(NotIp(kUdp), 0x86DD)},
      {"linux cooked", 113, test::SllFrame(kUdp), test::SllFrame(kIcmp),
       test::SllFrame(NotIp(kUdp), 0x86DD)},
      {"linux cooked v2", 276, test::Sll2Frame(kUdp), test::Sll2Frame(kIcmp),
       test::Sll2Frame({8, 6}, 0x0806)},
      {"bsd loopback", 0, test::FamilyFrame(kUdp, {2, 0, 0, 0}),
       test::FamilyFrame(kIcmp, {0, 0, 0, 2}), test::FamilyFrame(NotIp(kUdp), {30, 0, 0, 0})},
      {"openbsd loopback", 108, test::FamilyFrame(kUdp, {0, 0, 0, 2}),
       test::FamilyFrame(kIcmp, {0, 0, 0, 2}), test::FamilyFrame(kUdp, {0, 0, 0, 24})},
      {"raw", 101, kUdp, kIcmp, NotIp(kUdp)},
      {"ipv4", 228, kUdp, kIcmp, NotIp(kUdp)},
  };
  for (const LinkCase& l : links) {
    for (const bool big : {false, true}) {
      for (const bool nano : {false, true}) {
        const std::string file = test::PcapWithTimes(
            {{l.udp, 1700000000, 123456}, {l.other, 1700000001, 0},
             {l.icmp, 0xFFFFFFFF, nano ? 999999999u : 999999u}},
            {.link_type = l.link_type, .big_endian = big, .nanoseconds = nano});
        CaptureFileReader reader;
        const ReadResult r = ReadAll(reader, file);
        SCOPED_TRACE(std::string(l.name) + (big ? ", big-endian" : "") + (nano ? ", ns" : ""));
        ASSERT_TRUE(r.opened) << r.error;
        EXPECT_EQ(reader.format(), CaptureFileFormat::kPcap);
        EXPECT_EQ(r.last, ReadOutcome::kEnd);
        const std::vector<Datagram> expected = {
            {kUdp, {1700000000, nano ? 123456u : 123456000u}},
            {kIcmp, {0xFFFFFFFF, nano ? 999999999u : 999999000u}}};
        EXPECT_EQ(r.datagrams, expected);
        EXPECT_EQ(reader.records(), 3u);
        EXPECT_EQ(reader.skipped(), 1u);
      }
    }
  }
}

TEST(CaptureFileReader, PcapFractionsOfAWholeSecondOrMoreAreCarried) {
  const ReadResult r = ReadAll(test::PcapWithTimes(
      {{kUdp, 10, 2500000}}, {.link_type = 101}));
  ASSERT_EQ(r.datagrams.size(), 1u);
  EXPECT_EQ(r.datagrams[0].time, (CaptureTime{12, 500000000}));
}

// One file with two sections of opposite byte order; interfaces of several
// link types and time resolutions; blocks of other types between them; a
// frame without IPv4 and one of an interface whose link type the program
// does not read.
TEST(CaptureFileReader, PcapngSectionsInterfacesAndBlocks) {
  const Bytes udp2 = MakeDatagram({.protocol = 17, .source = "10.9.9.9", .payload_length = 3});
  const Bytes tcp2 = MakeDatagram({.protocol = 6, .destination = "10.1.1.1"});
  for (const bool big : {false, true}) {
    test::PcapngBuilder b(big);
    b.interface({.link_type = 1})                                            // 0: Ethernet, us
        .other(4, 24)                                                        // name resolution
        .interface({.link_type = 113, .resolution = 9})                      // 1: cooked, ns
        .interface({.link_type = 101, .resolution = 0x80 | 20, .offset = -3600})  // 2: raw
        .interface({.link_type = 105})                                       // 3: 802.11
        .packet(0, 1700000000123456ull, test::EthernetFrame(kUdp))
        .packet(1, 1700000001987654321ull, test::SllFrame(kIcmp))
        .other(0x40000BAD, 8)                                                // custom
        .packet(2, (uint64_t{1700003600} << 20) | (1u << 19), udp2)
        .packet(0, 1700000003000000ull, test::EthernetFrame(NotIp(kUdp), 0x86DD))
        .packet(3, 1700000004000000ull, test::EthernetFrame(kUdp))
        .other(5, 32)                                                        // statistics
        .simple(test::EthernetFrame(kTcp), 1000)
        .section(!big)
        .interface({.link_type = 276, .resolution = 3, .offset = 10})         // 0 again
        .packet(0, 1700000005250ull, test::Sll2Frame(tcp2));
    CaptureFileReader reader;
    const ReadResult r = ReadAll(reader, b.bytes());
    SCOPED_TRACE(big ? "big-endian first" : "little-endian first");
    ASSERT_TRUE(r.opened) << r.error;
    EXPECT_EQ(reader.format(), CaptureFileFormat::kPcapng);
    EXPECT_EQ(r.last, ReadOutcome::kEnd) << r.error;
    const std::vector<Datagram> expected = {
        {kUdp, {1700000000, 123456000}},
        {kIcmp, {1700000001, 987654321}},
        {udp2, {1700000000, 500000000}},
        {kTcp, {0, 0}},  // a simple packet block has no time
        {tcp2, {1700000015, 250000000}},
    };
    EXPECT_EQ(r.datagrams, expected);
    EXPECT_EQ(reader.records(), 7u);
    EXPECT_EQ(reader.skipped(), 2u);
  }
}

TEST(CaptureFileReader, PcapngTimeResolutionsAndOffsets) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  struct Case {
    std::optional<uint8_t> resolution;
    std::optional<int64_t> offset;
    uint64_t units;
    CaptureTime time;
  } cases[] = {
      {{}, {}, 1700000000123456ull, {1700000000, 123456000}},  // microseconds
      {6, {}, 999999ull, {0, 999999000}},
      {9, {}, 1700000000123456789ull, {1700000000, 123456789}},
      {0, {}, 1700000000ull, {1700000000, 0}},
      {3, -1700000000, 1700000000500ull, {0, 500000000}},
      {12, {}, 1000000000001999ull, {1000, 1}},           // picoseconds: cut, not rounded
      {19, {}, std::numeric_limits<uint64_t>::max(), {1, 844674407}},
      {0x80, {}, 5, {5, 0}},                               // 2^0
      {0x80 | 10, {}, 1024 * 7 + 512, {7, 500000000}},
      {0x80 | 30, {}, (uint64_t{3} << 30) | (uint64_t{1} << 29), {3, 500000000}},
      {0x80 | 34, {}, (uint64_t{1} << 34) - 1, {0, 999999999}},
      {0x80 | 40, {}, (uint64_t{5} << 40) | (uint64_t{3} << 38), {5, 750000000}},
      {0x80 | 63, {}, (uint64_t{1} << 63) | (uint64_t{1} << 62), {1, 500000000}},
      {0x80 | 63, {}, (uint64_t{1} << 63) | 1, {1, 0}},
      {6, kMax, 2500000, {kMax, 500000000}},               // saturates
      {0, -1, std::numeric_limits<uint64_t>::max(), {kMax - 1, 0}},
      {6, kMin, 0, {kMin, 0}},
  };
  for (const Case& c : cases) {
    test::PcapngBuilder b;
    b.interface({.link_type = 101, .resolution = c.resolution, .offset = c.offset})
        .packet(0, c.units, kUdp);
    const ReadResult r = ReadAll(b.bytes());
    SCOPED_TRACE(::testing::Message() << "resolution " << (c.resolution ? *c.resolution : -1)
                                      << ", units " << c.units);
    ASSERT_EQ(r.datagrams.size(), 1u) << r.error;
    EXPECT_EQ(r.datagrams[0].time.seconds, c.time.seconds);
    EXPECT_EQ(r.datagrams[0].time.nanoseconds, c.time.nanoseconds);
  }
}

// A simple packet block captured the least of its original length, the
// interface's snapshot length and the room in the block.
// Shows the selector each IPv4 frame whole; takes the Ethernet ones, and
// refuses to be readied for the link types in `refused`.
class EthernetSelector final : public RecordSelector {
 public:
  struct Seen {
    int link_type;
    Bytes frame;
    size_t original;
    bool operator==(const Seen&) const = default;
  };

  bool prepare(int link_type) override {
    prepared.push_back(link_type);
    return std::find(refused.begin(), refused.end(), link_type) == refused.end();
  }
  bool takes(const CaptureFrame& f) override {
    seen.push_back({f.link_type, Bytes(f.bytes, f.bytes + f.captured), f.original});
    return f.link_type == 1;
  }
  const std::string& error() const override { return error_; }

  std::vector<int> refused;
  std::vector<int> prepared;
  std::vector<Seen> seen;

 private:
  std::string error_ = "not for this link";
};

// A selector passes over records without counting them as skipped, is
// readied again whenever the link type changes, and one it cannot be
// readied for ends the reading there, after the datagrams before it.
TEST(CaptureFileReader, ARecordSelectorChoosesAmongWholeFrames) {
  test::PcapngBuilder b;
  b.interface({.link_type = 1, .snap_length = 1500})
      .interface({.link_type = 113})
      .packet(0, 1, test::EthernetFrame(kUdp))
      .packet(0, 2, test::EthernetFrame(NotIp(kUdp), 0x86DD))  // not shown: no IP
      .packet(1, 3, test::SllFrame(kIcmp))
      .packet(0, 4, test::EthernetFrame(kTcp))
      .simple(test::EthernetFrame(kIcmp), 9000);
  const std::vector<EthernetSelector::Seen> shown = {
      {1, test::EthernetFrame(kUdp), test::EthernetFrame(kUdp).size()},
      {113, test::SllFrame(kIcmp), test::SllFrame(kIcmp).size()},
      {1, test::EthernetFrame(kTcp), test::EthernetFrame(kTcp).size()},
      {1, test::EthernetFrame(kIcmp), 9000}};

  EthernetSelector selector;
  CaptureFileReader reader;
  reader.select_with(&selector);
  ReadResult r = ReadAll(reader, b.bytes());
  ASSERT_TRUE(r.opened) << r.error;
  EXPECT_EQ(reader.link_type(), 1);
  EXPECT_EQ(reader.snapshot_length(), 1500u);
  EXPECT_EQ(r.last, ReadOutcome::kEnd) << r.error;
  ASSERT_EQ(r.datagrams.size(), 3u);
  EXPECT_EQ(r.datagrams[1].bytes, kTcp);
  EXPECT_EQ(selector.prepared, (std::vector<int>{1, 113, 1}));
  EXPECT_EQ(selector.seen, shown);
  EXPECT_EQ(reader.records(), 5u);
  EXPECT_EQ(reader.skipped(), 1u);

  EthernetSelector refusing;
  refusing.refused = {113};
  reader.select_with(&refusing);
  r = ReadAll(reader, b.bytes());
  EXPECT_EQ(r.last, ReadOutcome::kFailed);
  EXPECT_EQ(r.datagrams, (std::vector<Datagram>{{kUdp, {0, 1000}}}));
  EXPECT_NE(r.error.find(": cannot select among frames of link type LINUX_SLL (Linux cooked "
                         "v1): not for this link"),
            std::string::npos)
      << r.error;
  EXPECT_EQ(r.error.rfind("block 6 (at byte ", 0), 0u) << r.error;  // the cooked frame

  reader.select_with(nullptr);
  EXPECT_EQ(ReadAll(reader, b.bytes()).datagrams.size(), 4u);
  const std::string raw = test::PcapWithTimes({}, {.link_type = 101, .snapshot = 0});
  EXPECT_TRUE(ReadAll(reader, raw).opened);
  EXPECT_EQ(reader.link_type(), 101);
  EXPECT_EQ(reader.snapshot_length(), kMaxRecordBytes) << "a snapshot length of 0 sets none";
}

TEST(CaptureFileReader, SimplePacketBlockLengths) {
  struct Case {
    uint32_t snap_length;
    uint32_t original;
    size_t in_block;
    size_t captured;
  } cases[] = {
      {0, 128, 128, 128}, {60, 128, 128, 60}, {0, 50, 128, 50}, {0, 1000, 128, 128},
  };
  for (const Case& c : cases) {
    const Bytes datagram = MakeDatagram({.protocol = 17, .payload_length = 100});
    ASSERT_EQ(datagram.size(), 128u);
    test::PcapngBuilder b;
    b.interface({.link_type = 228, .snap_length = c.snap_length})
        .simple(Bytes(datagram.begin(), datagram.begin() + static_cast<long>(c.in_block)),
                c.original);
    const ReadResult r = ReadAll(b.bytes());
    ASSERT_EQ(r.datagrams.size(), 1u) << r.error;
    EXPECT_EQ(r.datagrams[0].bytes, Bytes(datagram.begin(), datagram.begin() + static_cast<long>(c.captured)))
        << c.snap_length << " " << c.original;
  }
}

TEST(CaptureFileReader, LongDatagramsAreCutToTheBuffer) {
  Bytes huge(70000, 0xAB);
  huge[0] = 0x45;
  huge[2] = huge[3] = 0;  // total length 0: not trusted, the whole record counts
  const Bytes largest = MakeDatagram({.protocol = 6, .payload_length = 65535 - 40});
  const std::string raw = test::PcapWithTimes({{huge, 1, 0}, {largest, 2, 0}}, {.link_type = 228});
  for (const size_t capacity : {kReceiveBufferSize, size_t{10}}) {
    CaptureFileReader reader;
    MemoryByteInput input({reinterpret_cast<const uint8_t*>(raw.data()), raw.size()});
    ASSERT_TRUE(reader.open(input));
    Bytes buffer(capacity);
    CaptureRecord record;
    ASSERT_EQ(reader.next(buffer.data(), capacity, record), ReadOutcome::kDatagram);
    EXPECT_EQ(record.captured, 70000u);
    EXPECT_EQ(record.length, capacity);
    EXPECT_EQ(buffer, Bytes(huge.begin(), huge.begin() + static_cast<long>(capacity)));
    ASSERT_EQ(reader.next(buffer.data(), capacity, record), ReadOutcome::kDatagram);
    EXPECT_EQ(record.captured, 65535u);
    EXPECT_EQ(record.length, std::min<size_t>(capacity, 65535));
  }
  // The largest datagram behind a link header: a frame above 65,535 bytes.
  const ReadResult r = ReadAll(test::PcapWithTimes({{test::EthernetFrame(largest), 3, 0}},
                                                   {.link_type = 1, .snapshot = 262144}));
  ASSERT_EQ(r.datagrams.size(), 1u) << r.error;
  EXPECT_EQ(r.datagrams[0].bytes, largest);
}

TEST(CaptureFileReader, FilesItCannotOpen) {
  std::string old_version = test::PcapBytes({}, {});
  old_version[4] = 1;
  old_version[6] = 0;
  std::string bad_magic = test::PcapngBuilder().bytes();
  bad_magic[8] = 0x4C;
  std::string pcapng_v2 = test::PcapngBuilder().bytes();
  pcapng_v2[12] = 2;
  struct Case {
    const char* name;
    std::string file;
    const char* error;
  } cases[] = {
      {"empty", "", "the file is empty"},
      {"three bytes", "\xD4\xC3\xB2", "not a pcap or pcapng file"},
      {"text", "these are not datagrams\n", "not a pcap or pcapng file"},
      {"pcap header cut", test::PcapBytes({}, {}).substr(0, 20), "cut short in the file header"},
      {"pcap link type", test::PcapBytes({}, {.link_type = 105}), "link type 105 is not supported"},
      {"pcap version", old_version, "pcap version 1.0 is not supported"},
      {"pcapng magic", bad_magic, "block 1 (at byte 0): the byte-order magic is not valid"},
      {"pcapng version", pcapng_v2, "block 1 (at byte 0): pcapng version 2.0 is not supported"},
      {"pcapng link type", test::PcapngBuilder().interface({.link_type = 105}).bytes(),
       "link type 105 is not supported"},
      {"pcapng packet first", test::PcapngBuilder().packet(0, 0, kUdp).bytes(),
       "block 2 (at byte 28): interface 0 is not described"},
  };
  CaptureFileReader reader;  // one reader for all: each open starts afresh
  for (const Case& c : cases) {
    const ReadResult r = ReadAll(reader, c.file);
    EXPECT_FALSE(r.opened) << c.name;
    EXPECT_EQ(r.error, c.error) << c.name;
    EXPECT_EQ(r.last, ReadOutcome::kFailed) << c.name;
  }
  // A section with no interface is an empty capture.
  EXPECT_EQ(ReadAll(reader, test::PcapngBuilder().other(4, 8).bytes()).last, ReadOutcome::kEnd);
  const ReadResult good = ReadAll(reader, test::PcapWithTimes({{kUdp, 1, 2}}, {.link_type = 101}));
  EXPECT_EQ(good.datagrams.size(), 1u);
  EXPECT_EQ(reader.records(), 1u);
}

// A file cut at any byte gives exactly the datagrams of the records that
// lie whole before the cut, then the end (a cut between records) or a "cut
// short" failure.
TEST(CaptureFileReader, EveryCutGivesTheWholeRecordsBeforeIt) {
  struct Case {
    const char* name;
    std::string file;
    std::vector<size_t> boundaries;   // where a record or block ends
    std::vector<size_t> packet_ends;  // where a record with a datagram ends
  };
  const std::string pcap = test::PcapWithTimes(
      {{kUdp, 1, 0}, {kIcmp, 2, 0}, {kTcp, 3, 0}}, {.link_type = 101});
  const size_t r1 = 24 + 16 + kUdp.size();
  const size_t r2 = r1 + 16 + kIcmp.size();
  Case pcap_case{"pcap", pcap, {24, r1, r2, pcap.size()}, {r1, r2, pcap.size()}};

  test::PcapngBuilder b;
  std::vector<size_t> packets;
  b.interface({.link_type = 1, .resolution = 9}).packet(0, 5, test::EthernetFrame(kUdp));
  packets.push_back(b.block_ends().back());
  b.other(4, 12).packet(0, 6, test::EthernetFrame(kIcmp));
  packets.push_back(b.block_ends().back());
  b.simple(test::EthernetFrame(kTcp), 60);
  packets.push_back(b.block_ends().back());
  b.section(true).interface({.link_type = 101}).packet(0, 7, kUdp);
  packets.push_back(b.block_ends().back());
  Case pcapng_case{"pcapng", b.bytes(), b.block_ends(), packets};

  for (const Case& c : {pcap_case, pcapng_case}) {
    for (size_t cut = 0; cut <= c.file.size(); ++cut) {
      const ReadResult r = ReadAll(c.file.substr(0, cut));
      SCOPED_TRACE(::testing::Message() << c.name << " cut at " << cut);
      const auto whole = std::count_if(c.packet_ends.begin(), c.packet_ends.end(),
                                       [cut](size_t end) { return end <= cut; });
      ASSERT_EQ(r.datagrams.size(), static_cast<size_t>(whole));
      const bool boundary =
          std::find(c.boundaries.begin(), c.boundaries.end(), cut) != c.boundaries.end();
      if (boundary) {
        EXPECT_EQ(r.last, ReadOutcome::kEnd) << r.error;
      } else if (cut >= 4) {
        EXPECT_EQ(r.last, ReadOutcome::kFailed);
        EXPECT_NE(r.error.find("cut short"), std::string::npos) << r.error;
      } else {
        EXPECT_FALSE(r.opened);
      }
    }
  }
}

std::string Le32Bytes(std::initializer_list<uint32_t> values) {
  std::string out;
  for (const uint32_t v : values) test::PutU32(out, v, false);
  return out;
}

// Lengths and fields that a damaged or hostile file may carry: each ends
// the reading with its reason after the datagram before it.
TEST(CaptureFileReader, HostileLengthsAndFields) {
  const std::string pcap = test::PcapWithTimes({{kUdp, 1, 0}}, {.link_type = 101});
  test::PcapngBuilder good;
  good.interface({.link_type = 101}).packet(0, 1, kUdp);
  const std::string ng = good.bytes();
  const std::string at = " (at byte " + std::to_string(ng.size()) + "): ";
  const auto interface_body = [](std::initializer_list<uint32_t> options) {
    return Le32Bytes({101, 0}) + Le32Bytes(options);  // link type, snap length
  };
  std::string too_many = ng;
  for (int i = 0; i < 1024; ++i) too_many += test::PcapngBuilder().interface({}).bytes().substr(28);
  std::string mismatch = test::PcapngBuilder().packet(0, 2, kUdp).bytes().substr(28);
  mismatch[mismatch.size() - 4] = 36;
  struct Case {
    const char* name;
    std::string file;
    std::string error;
  } cases[] = {
      {"pcap captured length", pcap + Le32Bytes({2, 0, 262145, 262145}),
       "record 2 (at byte 168): captured length 262145 is more than 262144"},
      {"pcap captured length, all ones", pcap + Le32Bytes({2, 0, 0xFFFFFFFF, 0}),
       "captured length 4294967295 is more than 262144"},
      {"pcap record longer than the file", pcap + Le32Bytes({2, 0, 262144, 262144}) + "abc",
       "cut short in the middle of record 2 (at byte 168)"},
      {"block length 7", ng + Le32Bytes({4, 7, 7}), "block 4" + at + "block length 7 is not valid"},
      {"block length 13", ng + Le32Bytes({6, 13, 0, 0}), "block length 13 is not valid"},
      {"block length 0", ng + Le32Bytes({4, 0, 0}), "block length 0 is not valid"},
      {"block longer than the file", ng + Le32Bytes({0xBAD, 0xFFFFFFFC, 0, 0}),
       "cut short in the middle of block 4"},
      {"packet block too short", ng + Le32Bytes({6, 28, 0, 0, 0, 0, 28}),
       "block length 28 is not valid"},
      {"captured length beyond the block", ng + Le32Bytes({6, 40, 0, 0, 0, 100, 100, 0, 0, 40}),
       "captured length 100 does not fit in the block"},
      {"captured length, all ones", ng + Le32Bytes({6, 32, 0, 0, 0, 0xFFFFFFFF, 0, 32}),
       "captured length 4294967295 is more than 262144"},
      {"interface not described", ng + test::PcapngBuilder().packet(7, 2, kUdp).bytes().substr(28),
       "block 4" + at + "interface 7 is not described"},
      {"lengths at start and end differ", ng + mismatch,
       "the length at its end (36) differs from the length at its start (172)"},
      {"option past the block", ng + test::PcapngBuilder().block(1, interface_body({0x00640002})).bytes().substr(28),
       "option 2 runs past the end of the block"},
      {"resolution of two bytes", ng + test::PcapngBuilder().block(1, interface_body({0x00020009, 6})).bytes().substr(28),
       "option 9 has length 2 instead of 1"},
      {"offset of four bytes", ng + test::PcapngBuilder().block(1, interface_body({0x0004000E, 6})).bytes().substr(28),
       "option 14 has length 4 instead of 8"},
      {"resolution 10^-20", ng + test::PcapngBuilder().interface({.resolution = 20}).bytes().substr(28),
       "time resolution 20 is not supported"},
      {"resolution 2^-64", ng + test::PcapngBuilder().interface({.resolution = 0xC0}).bytes().substr(28),
       "time resolution 192 is not supported"},
      {"section header too short", ng + Le32Bytes({0x0A0D0D0A, 20, 0x1A2B3C4D, 0, 0}),
       "block length 20 is not valid"},
      {"1025 interfaces", too_many, "more than 1024 interfaces in one section"},
      {"simple packet block above the bound",
       ng + test::PcapngBuilder().simple(Bytes(262148, 0x45), 0xFFFFFFFF).bytes().substr(28),
       "captured length 262148 is more than 262144"},
  };
  for (const Case& c : cases) {
    const ReadResult r = ReadAll(c.file);
    ASSERT_TRUE(r.opened) << c.name << ": " << r.error;
    EXPECT_EQ(r.datagrams.size(), 1u) << c.name;
    EXPECT_EQ(r.last, ReadOutcome::kFailed) << c.name;
    EXPECT_NE(r.error.find(c.error), std::string::npos) << c.name << ": " << r.error;
  }
}

// An input that hands out its first `limit` bytes and then fails, and
// skips by reading (the way of a pipe).
class FailingInput final : public ByteInput {
 public:
  FailingInput(const std::string& bytes, size_t limit)
      : bytes_(bytes.substr(0, limit)), fails_(limit < bytes.size()) {}
  size_t read(uint8_t* buffer, size_t size) override {
    const size_t n = std::min(size, bytes_.size() - next_);
    std::copy_n(bytes_.begin() + static_cast<long>(next_), n, buffer);
    next_ += n;
    if (n < size && fails_) error_ = "cannot read: the disk went away";
    return n;
  }
  const std::string& error() const override { return error_; }

 private:
  std::string bytes_;
  bool fails_;
  size_t next_ = 0;
  std::string error_;
};

TEST(CaptureFileReader, ReadFailuresAreReportedWithTheirPlace) {
  const std::string pcap = test::PcapWithTimes({{kUdp, 1, 0}, {kIcmp, 2, 0}}, {.link_type = 101});
  test::PcapngBuilder b;
  b.interface({.link_type = 101}).other(0xBAD, 5000).packet(0, 1, kUdp);
  const size_t big_block = b.block_ends()[1];
  struct Case {
    std::string file;
    size_t limit;
    size_t datagrams;
    std::string error;  // empty: read to the end
  } cases[] = {
      {pcap, 3, 0, "cannot read: the disk went away"},
      {pcap, 168, 1, "record 2 (at byte 168): cannot read: the disk went away"},
      {pcap, 200, 1, "record 2 (at byte 168): cannot read: the disk went away"},
      {b.bytes(), big_block + 100, 0,
       "block 3 (at byte " + std::to_string(big_block) + "): cannot read: the disk went away"},
      {b.bytes(), b.block_ends()[2] + 10, 0,
       "block 4 (at byte " + std::to_string(b.block_ends()[2]) + "): cannot read"},
      {b.bytes(), b.bytes().size(), 1, ""},
  };
  for (const Case& c : cases) {
    FailingInput input(c.file, c.limit);
    CaptureFileReader reader;
    Bytes buffer(kReceiveBufferSize);
    CaptureRecord record;
    ReadOutcome last = reader.open(input) ? ReadOutcome::kDatagram : ReadOutcome::kFailed;
    size_t datagrams = 0;
    while (last == ReadOutcome::kDatagram) {
      last = reader.next(buffer.data(), buffer.size(), record);
      datagrams += last == ReadOutcome::kDatagram;
    }
    SCOPED_TRACE(c.limit);
    EXPECT_EQ(datagrams, c.datagrams);
    EXPECT_EQ(last, c.error.empty() ? ReadOutcome::kEnd : ReadOutcome::kFailed);
    EXPECT_NE(reader.error().find(c.error), std::string::npos) << reader.error();
  }
}

}  // namespace
}  // namespace pw
