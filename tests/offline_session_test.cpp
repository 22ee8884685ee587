// The capture session over capture files: files that the tests write (every
// link type, damaged files, the packet limit and the pool-full stop) and
// real captures of loopback traffic made with tcpdump and tshark.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_session.h"
#include "capture/pcap_source.h"
#include "capture/save_data.h"
#include "tests/datagram_builder.h"
#include "tests/pcap_file.h"
#include "tests/fakes.h"
#include "tests/recording_view.h"
#include "tests/temp_dir.h"

namespace pw {
namespace {

using test::MakeDatagram;

constexpr ProtocolSwitches kAll{true, true, true, true, true};

class OfflineTest : public test::TempDirTest {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = Path(name);
    test::WriteFile(path, bytes);
    return path;
  }

  // Reads `path` through a whole session, with a capture expression if
  // given; returns the end event.
  std::string Read(const std::string& path, StartRequest request = {},
                   const std::string& expression = {}) {
    if (request.from_field.empty()) request.from_field = "*:*";
    if (request.to_field.empty()) request.to_field = "*:*";
    if (!request.protocols.tcp && !request.protocols.udp && !request.protocols.icmp) {
      request.protocols = kAll;
    }
    view_ = std::make_unique<test::RecordingView>();
    PcapFileSource source(path, expression);
    CaptureSession session(*store_, *view_, source, allow_);
    EXPECT_EQ(session.start(request), StartOutcome::kStarted);
    EXPECT_TRUE(view_->wait_ended());
    session.stop();
    opened_ = source.origin(origin_);
    expression_refused_ = source.expression_refused();
    return view_->events().back() == "stopped" ? view_->events().end()[-2]
                                                : view_->events().back();
  }

  std::string Pool() const {
    const std::span<const uint8_t> pool = PacketsSaveData(*store_);
    return std::string(pool.begin(), pool.end());
  }

  std::unique_ptr<CaptureStore> store_ = std::make_unique<CaptureStore>();
  std::unique_ptr<test::RecordingView> view_;
  test::FakePrivilege allow_;
  // What the last source said of itself.
  bool opened_ = false;
  CaptureOrigin origin_;
  bool expression_refused_ = false;
};

std::string AsString(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST_F(OfflineTest, EveryLinkTypeDeliversTheDatagramsAsCaptured) {
  const std::vector<uint8_t> udp = MakeDatagram({.protocol = 17, .source_port = 53,
                                                 .destination_port = 4000,
                                                 .payload_length = 100});
  const std::vector<uint8_t> icmp = MakeDatagram({.protocol = 1, .ttl = 255});
  std::vector<uint8_t> ipv6 = udp;
  ipv6[0] = 0x60;
  struct Case {
    const char* name;
    uint32_t link_type;
    std::vector<std::vector<uint8_t>> frames;  // udp, icmp, then a non-IPv4 frame
  } cases[] = {
      {"ethernet", 1,
       {test::EthernetFrame(udp), test::EthernetFrame(icmp, 0x0800, 1),
        test::EthernetFrame(ipv6, 0x86DD)}},
      {"linux cooked", 113,
       {test::SllFrame(udp), test::SllFrame(icmp), test::SllFrame(ipv6, 0x86DD)}},
      {"linux cooked v2", 276,
       {test::Sll2Frame(udp), test::Sll2Frame(icmp), test::Sll2Frame({0x08, 0x06}, 0x0806)}},
      {"bsd loopback", 0,
       {test::FamilyFrame(udp, {2, 0, 0, 0}), test::FamilyFrame(icmp, {2, 0, 0, 0}),
        test::FamilyFrame(ipv6, {30, 0, 0, 0})}},
      {"raw", 101, {udp, icmp, ipv6}},
      {"ipv4", 228, {udp, icmp}},
  };
  for (const Case& c : cases) {
    for (test::PcapOptions o : {test::PcapOptions{}, test::PcapOptions{.big_endian = true,
                                                                       .nanoseconds = true}}) {
      o.link_type = c.link_type;
      const std::string path = Write("link.pcap", test::PcapBytes(c.frames, o));
      EXPECT_EQ(Read(path), "ended source-ended") << c.name;
      const std::vector<std::string> rows = {
          "\t0\tudp\t10.0.0.1\t53\t10.0.0.2\t4000\t128\t64",
          "\t1\ticmp\t10.0.0.1\t0\t10.0.0.2\t0\t28\t255"};
      EXPECT_EQ(view_->rows(), rows) << c.name;
      EXPECT_TRUE(Pool() == AsString(udp) + AsString(icmp)) << c.name;
    }
  }
}

TEST_F(OfflineTest, FilesThatCannotBeReadAreReported) {
  const std::string not_pcap = Write("notes.txt", "these are not datagrams\n");
  const std::string empty = Write("empty.pcap", "");
  const std::string wifi = Write("wifi.pcap", test::PcapBytes({}, {.link_type = 105}));
  struct Case {
    std::string path;
    std::string detail;  // part of the error text
  } cases[] = {
      {not_pcap, "unknown file format"},
      {empty, "empty.pcap"},
      {Path("missing.pcap"), "No such file"},
      {wifi, "not supported"},
      {dir_.string(), "pebblewire_"},
  };
  for (const Case& c : cases) {
    const std::string end = Read(c.path);
    EXPECT_EQ(end.rfind("ended open-failed " + c.path, 0), 0u) << end;
    EXPECT_NE(end.find(c.detail), std::string::npos) << end;
    EXPECT_TRUE(view_->rows().empty());
  }
}

TEST_F(OfflineTest, ADamagedFileKeepsTheDatagramsBeforeTheDamage) {
  const std::vector<uint8_t> udp = MakeDatagram({.protocol = 17, .payload_length = 50});
  std::string bytes = test::PcapBytes({udp, udp, udp}, {.link_type = 101});
  bytes.resize(bytes.size() - 20);  // the last record is cut off
  const std::string end = Read(Write("cut.pcap", bytes));
  EXPECT_EQ(end.rfind("ended source-failed ", 0), 0u) << end;
  EXPECT_NE(end.find("truncated"), std::string::npos) << end;
  EXPECT_EQ(view_->rows().size(), 2u);
}

TEST_F(OfflineTest, LimitAndPoolFullStops) {
  const std::vector<uint8_t> small = MakeDatagram({.protocol = 17});
  std::vector<std::vector<uint8_t>> frames(kPacketLimit + 50, small);
  frames[5] = MakeDatagram({.protocol = 47});  // rejected: does not count
  EXPECT_EQ(Read(Write("many.pcap", test::PcapBytes(frames, {.link_type = 101}))),
            "ended limit");
  EXPECT_EQ(view_->rows().size(), kPacketLimit);
  EXPECT_EQ(view_->rows().back(), "\t9999\tudp\t10.0.0.1\t0\t10.0.0.2\t0\t28\t64");
  EXPECT_EQ(Pool().size(), 28u * kPacketLimit);

  const std::vector<uint8_t> big = MakeDatagram({.protocol = 6, .payload_length = 65535 - 40});
  const std::vector<std::vector<uint8_t>> bigs(20, big);
  EXPECT_EQ(Read(Write("big.pcap", test::PcapBytes(bigs, {.link_type = 101}))),
            "ended pool-full");
  EXPECT_EQ(view_->rows().size(), 12u);  // 12 x 65,535 fit in 819,200
  EXPECT_EQ(Pool().size(), 12u * 65535u);
}

TEST_F(OfflineTest, FilterAndCountOnAFile) {
  std::vector<std::vector<uint8_t>> frames;
  for (uint16_t port = 1; port <= 10; ++port) {
    frames.push_back(MakeDatagram({.protocol = 6, .source = "192.168.0.1",
                                   .source_port = static_cast<uint16_t>(port % 2 ? 80 : 81),
                                   .destination_port = port}));
    frames.push_back(MakeDatagram({.protocol = 1, .source = "192.168.0.1"}));
  }
  const std::string path = Write("mix.pcap", test::PcapBytes(frames, {.link_type = 101}));
  // tcp from port 80 and every icmp from 192.168.0.1.
  Read(path, {.from_field = "192.168.0.1:80", .protocols = kAll});
  EXPECT_EQ(view_->rows().size(), 15u);
  Read(path, {.from_field = "192.168.0.1:80", .protocols = {true, false, false, false, false}});
  EXPECT_EQ(view_->rows().size(), 5u);
  EXPECT_EQ(Read(path, {.protocols = kAll, .packet_limit = 3}), "ended limit");
  EXPECT_EQ(view_->rows().size(), 3u);
}

TEST_F(OfflineTest, AnExpressionSelectsRecordsBeforeTheFilter) {
  const std::vector<std::vector<uint8_t>> frames = {
      MakeDatagram(test::Udp("10.0.0.1", 4000, "10.0.0.2", 53)),
      MakeDatagram(test::Tcp("10.0.0.1", 4000, "10.0.0.2", 80)),
      MakeDatagram(test::Proto(1)),
      MakeDatagram(test::Udp("10.0.0.3", 4000, "10.0.0.2", 53)),
  };
  const std::string path = Write("mix.pcap", test::PcapBytes(frames, {.link_type = 101}));
  EXPECT_EQ(Read(path, {}, "udp port 53 or icmp"), "ended source-ended");
  EXPECT_EQ(view_->rows(), (std::vector<std::string>{
                               "\t0\tudp\t10.0.0.1\t4000\t10.0.0.2\t53\t28\t64",
                               "\t1\ticmp\t10.0.0.1\t0\t10.0.0.2\t0\t28\t64",
                               "\t2\tudp\t10.0.0.3\t4000\t10.0.0.2\t53\t28\t64"}));
  ASSERT_TRUE(opened_);
  EXPECT_TRUE(origin_.file);
  EXPECT_EQ(origin_.name, path);
  EXPECT_EQ(origin_.link_type, "RAW (Raw IP)");
  EXPECT_EQ(origin_.capture_size, 65535);
  // Then the session's own filter: from 10.0.0.3 only.
  Read(path, {.from_field = "10.0.0.3:*", .protocols = kAll}, "udp port 53 or icmp");
  EXPECT_EQ(view_->rows().size(), 1u);
  // Ethernet frames, some behind a VLAN tag that the expression names.
  const std::string tagged = Write(
      "tagged.pcap", test::PcapBytes({test::EthernetFrame(frames[0], 0x0800, 1),
                                      test::EthernetFrame(frames[3])}));
  Read(tagged, {}, "vlan and udp");
  EXPECT_EQ(view_->rows().size(), 1u);
  Read(tagged, {}, "udp");
  EXPECT_EQ(view_->rows().size(), 1u);
  EXPECT_EQ(view_->rows()[0], "\t0\tudp\t10.0.0.3\t4000\t10.0.0.2\t53\t28\t64");
}

TEST_F(OfflineTest, ARefusedExpressionFailsTheOpen) {
  const std::string path =
      Write("one.pcap", test::PcapBytes({MakeDatagram({})}, {.link_type = 101}));
  EXPECT_EQ(Read(path, {}, "udp and"),
            "ended open-failed can't parse filter expression: syntax error");
  EXPECT_TRUE(expression_refused_);
  EXPECT_FALSE(opened_);
  EXPECT_TRUE(view_->rows().empty());
  EXPECT_EQ(Read(path, {}, "udp"), "ended source-ended");
  EXPECT_FALSE(expression_refused_);
  EXPECT_EQ(Read(Path("missing.pcap"), {}, "udp"),
            "ended open-failed " + Path("missing.pcap") + ": No such file or directory");
  EXPECT_FALSE(expression_refused_) << "the file is the fault, not the expression";
}

// Loopback traffic captured by other tools: three UDP datagrams from
// 127.0.0.1:40000 to 127.0.0.1:40001 with 10, 100 and 1000 payload bytes,
// then an ICMP echo request and its reply.
TEST_F(OfflineTest, RealCapturesOfOtherTools) {
  const std::vector<std::string> rows = {
      "\t0\tudp\t127.0.0.1\t40000\t127.0.0.1\t40001\t38\t64",
      "\t1\tudp\t127.0.0.1\t40000\t127.0.0.1\t40001\t128\t64",
      "\t2\tudp\t127.0.0.1\t40000\t127.0.0.1\t40001\t1028\t64",
      "\t3\ticmp\t127.0.0.1\t0\t127.0.0.1\t0\t38\t64",
      "\t4\ticmp\t127.0.0.1\t0\t127.0.0.1\t0\t38\t64",
  };
  for (const char* file : {"tcpdump_lo.pcap", "tcpdump_any.pcap", "tshark_lo.pcapng"}) {
    EXPECT_EQ(Read(std::string(PW_TEST_DATA) + "/" + file), "ended source-ended") << file;
    EXPECT_EQ(view_->rows(), rows) << file;
    EXPECT_EQ(Pool().size(), 38u + 128u + 1028u + 38u + 38u) << file;
    // The echo request (type 8) and its reply (type 0), each once.
    DatagramLocation request{};
    DatagramLocation reply{};
    ASSERT_TRUE(LocateDatagram(*store_, 3, request));
    ASSERT_TRUE(LocateDatagram(*store_, 4, reply));
    EXPECT_EQ(store_->byte_pool[request.offset + 20], 8);
    EXPECT_EQ(store_->byte_pool[reply.offset + 20], 0);
  }
}

}  // namespace
}  // namespace pw
