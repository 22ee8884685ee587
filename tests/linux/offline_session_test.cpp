// The capture session over capture files as the command line reads them:
// the portable source through a descriptor (a path or standard input), with
// a capture expression as its record selector. Files that the tests write
// (every link type, the packet limit and the pool-full stop) and real
// captures of loopback traffic made with tcpdump and tshark.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/descriptor_input.h"
#include "capture/frame_filter.h"
#include "engine/capture_session.h"
#include "files/capture_file_source.h"
#include "files/save_data.h"
#include "support/datagram_builder.h"
#include "support/pcap_file.h"
#include "support/recording_view.h"
#include "support/temp_dir.h"
#include "support/test_data.h"

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
    CaptureFileSource source(path, std::make_unique<DescriptorInputOpener>(path));
    ExpressionSelector selector(expression);
    if (!expression.empty()) source.select_with(&selector);
    CaptureSession session(*store_, *view_, source);
    request.origin = FileOrigin(path);
    EXPECT_EQ(session.start(request, {true, true}), StartOutcome::kStarted);
    EXPECT_TRUE(view_->wait_ended());
    session.stop();
    opened_ = source.describe(origin_);
    expression_refused_ = source.selection_refused();
    return view_->events().back() == "stopped" ? view_->events().end()[-2]
                                                : view_->events().back();
  }

  std::string Pool() const {
    const std::span<const uint8_t> pool = PacketsSaveData(*store_);
    return std::string(pool.begin(), pool.end());
  }

  std::unique_ptr<CaptureStore> store_ = std::make_unique<CaptureStore>();
  std::unique_ptr<test::RecordingView> view_;
  // What the last source said of itself.
  bool opened_ = false;
  SourceDescription origin_;
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

// Through a descriptor, a file that cannot be read fails the open with the
// file's name and the reason; a damaged one ends after the datagrams before
// the damage.
TEST_F(OfflineTest, FilesThatCannotBeReadAreReported) {
  const std::vector<uint8_t> udp = MakeDatagram({.protocol = 17, .payload_length = 50});
  std::string cut = test::PcapBytes({udp, udp, udp}, {.link_type = 101});
  cut.resize(cut.size() - 20);
  struct Case {
    std::string path;
    std::string end;  // the end event after "ended ... <path>: "
    size_t rows;
  } cases[] = {
      {Write("notes.txt", "these are not datagrams\n"), "not a pcap or pcapng file", 0},
      {Write("empty.pcap", ""), "the file is empty", 0},
      {Path("missing.pcap"), "No such file or directory", 0},
      {Write("wifi.pcap", test::PcapBytes({}, {.link_type = 105})),
       "link type 105 is not supported", 0},
      {dir_.string(), "cannot read: Is a directory", 0},
      {Write("cut.pcap", cut), "cut short in the middle of record 3 (at byte 212)", 2},
  };
  for (const Case& c : cases) {
    const std::string kind = c.rows == 0 ? "ended open-failed " : "ended source-failed ";
    EXPECT_EQ(Read(c.path), kind + c.path + ": " + c.end);
    EXPECT_EQ(view_->rows().size(), c.rows) << c.path;
    EXPECT_EQ(opened_, c.rows > 0) << c.path;
  }
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

// A pcapng file with Ethernet and cooked interfaces: the expression is
// compiled for each link type as its first frame comes. One that does not
// apply to the second link type ends the reading there, after the
// datagrams before it, with the library's reason.
TEST_F(OfflineTest, AnExpressionOnAFileOfTwoLinkTypes) {
  const std::string mixed = test::DataFile("mergecap_eth_sll.pcapng");
  EXPECT_EQ(Read(mixed, {}, "udp"), "ended source-ended");
  EXPECT_EQ(view_->rows(), (std::vector<std::string>{
                               "\t0\tudp\t10.1.0.1\t5000\t10.1.0.2\t53\t40\t64",
                               "\t1\tudp\t192.168.7.1\t123\t192.168.7.2\t123\t76\t64"}));
  EXPECT_EQ(Read(mixed, {}, "icmp or port 5000"), "ended source-ended");
  EXPECT_EQ(view_->rows().size(), 3u);  // from both interfaces

  const std::string end = Read(mixed, {}, "ether dst 02:00:00:00:00:01");
  EXPECT_FALSE(expression_refused_) << "the first interface's link type takes it";
  EXPECT_EQ(end.rfind("ended source-failed " + mixed + ": block ", 0), 0u) << end;
  EXPECT_NE(end.find(": cannot select among frames of link type LINUX_SLL (Linux cooked v1): "),
            std::string::npos)
      << end;
  EXPECT_EQ(view_->rows().size(), 1u) << "the Ethernet datagram before the cooked frame";
}

// A stop while the reading waits on a FIFO that has no writer yet, or
// whose writer has given half a record, ends the wait and the session
// (without a wake-up the stop would wait for a writer for ever).
TEST_F(OfflineTest, AStopEndsAReadThatWaitsOnAFifo) {
  const std::string fifo = Path("feed");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string file = test::PcapBytes({MakeDatagram({.protocol = 17})}, {.link_type = 101});
  for (const size_t given : {size_t{0}, file.size() - 3}) {
    view_ = std::make_unique<test::RecordingView>();
    CaptureFileSource source(fifo, std::make_unique<DescriptorInputOpener>(fifo));
    CaptureSession session(*store_, *view_, source);
    ASSERT_EQ(session.start({.origin = FileOrigin(fifo), .from_field = "*:*", .to_field = "*:*",
                             .protocols = kAll},
                            {true, true}),
              StartOutcome::kStarted);
    int writer = -1;
    if (given > 0) {
      writer = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);  // waits for the reader
      ASSERT_EQ(write(writer, file.data(), given), static_cast<ssize_t>(given));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    session.stop();  // returns: the wait for bytes was ended
    if (writer >= 0) close(writer);
    EXPECT_EQ(view_->events().back(), "stopped") << given;
    EXPECT_EQ(view_->events().end()[-2], "started") << "a stop is no end of the file";
    EXPECT_TRUE(view_->rows().empty()) << given;
  }
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
    EXPECT_EQ(Read(test::DataFile(file)), "ended source-ended") << file;
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
