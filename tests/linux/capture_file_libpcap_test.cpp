// The portable capture-file reader and writer against libpcap (and tshark):
// the same datagram bytes and times from captures that other tools wrote,
// and files of the writer that libpcap and tshark read as written.
//
// The sample files in tests/data and how they were made (loopback traffic
// or hand-made frames only):
//   tcpdump_lo.pcap, tcpdump_any.pcap, tshark_lo.pcapng: see
//     offline_session_test.cpp.
//   tcpdump_lo_nano.pcap: `tcpdump -i lo --time-stamp-precision=nano -c 4
//     'udp port 40001 or tcp port 40002'` while bash sent 10 and 300 bytes to
//     /dev/udp/127.0.0.1/40001 and opened /dev/tcp/127.0.0.1/40002 (closed:
//     SYN, then RST). Ethernet, nanosecond pcap.
//   tcpdump_any_sll2.pcap: `tcpdump -i any -y LINUX_SLL2 -c 3 'udp port 40003
//     or icmp'` while bash sent 5 and 1,200 bytes to 127.0.0.1:40003 (closed:
//     an ICMP port unreachable follows the first). Cooked v2, microseconds.
//   editcap_lo_comment.pcapng: `editcap -F pcapng -a '2:second datagram'
//     tcpdump_lo_nano.pcap` (a comment option on the second packet block).
//   text2pcap_eth.pcap: `TZ=UTC text2pcap -F pcap -l 1 -t '%Y-%m-%d
//     %H:%M:%S.%f' text2pcap_eth.txt`: Ethernet frames written by hand (UDP,
//     TCP behind a VLAN tag, ARP, IPv6, ICMP padded to 60 bytes),
//     microseconds.
//   text2pcap_sll_ns.pcap: the same with `-F nsecpcap -l 113` from
//     text2pcap_sll.txt: cooked v1 frames (UDP, ICMP, ARP, GRE), nanoseconds.
//   mergecap_eth_sll.pcapng: `mergecap -F pcapng text2pcap_eth.pcap
//     text2pcap_sll_ns.pcap`: one section, two interfaces (Ethernet in
//     microseconds, cooked in nanoseconds), their packets interleaved in
//     time. libpcap refuses pcapng files whose interfaces differ in link
//     type, so it reads the two inputs instead.
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "linux/libpcap_reading.h"
#include "packet/link_layer.h"
#include "support/capture_file_builder.h"
#include "support/capture_files.h"
#include "support/datagram_builder.h"
#include "support/temp_dir.h"
#include "support/test_data.h"

namespace pw {
namespace {

using test::Bytes;
using test::Datagram;
using test::MakeDatagram;
using test::DataFile;
using test::ReadWithLibpcap;
using test::RunShell;

// The same file through the portable reader, from a stdio stream.
std::vector<Datagram> ReadWithReader(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  EXPECT_NE(file, nullptr) << path;
  if (file == nullptr) return {};
  StdioByteInput input(file);
  CaptureFileReader reader;
  const test::ReadResult r = test::ReadAll(reader, input);
  std::fclose(file);
  EXPECT_TRUE(r.opened) << path << ": " << r.error;
  EXPECT_EQ(r.last, ReadOutcome::kEnd) << path << ": " << r.error;
  return r.datagrams;
}

TEST(CaptureFileLibpcap, CapturesOfOtherToolsReadAsLibpcapReadsThem) {
  struct Case {
    const char* file;
    size_t datagrams;
  } cases[] = {
      {"tcpdump_lo.pcap", 5},        {"tcpdump_any.pcap", 5},
      {"tshark_lo.pcapng", 5},       {"tcpdump_lo_nano.pcap", 4},
      {"tcpdump_any_sll2.pcap", 3},  {"editcap_lo_comment.pcapng", 4},
      {"text2pcap_eth.pcap", 3},     {"text2pcap_sll_ns.pcap", 3},
  };
  for (const Case& c : cases) {
    const std::vector<Datagram> expected = ReadWithLibpcap(DataFile(c.file));
    EXPECT_EQ(expected.size(), c.datagrams) << c.file;
    EXPECT_EQ(ReadWithReader(DataFile(c.file)), expected) << c.file;
  }
}

TEST(CaptureFileLibpcap, TwoLinkTypesAndResolutionsInOnePcapng) {
  std::vector<Datagram> expected = ReadWithLibpcap(DataFile("text2pcap_eth.pcap"));
  const std::vector<Datagram> cooked = ReadWithLibpcap(DataFile("text2pcap_sll_ns.pcap"));
  expected.insert(expected.end(), cooked.begin(), cooked.end());
  std::stable_sort(expected.begin(), expected.end(),
                   [](const Datagram& a, const Datagram& b) { return a.time < b.time; });
  const std::vector<Datagram> got = ReadWithReader(DataFile("mergecap_eth_sll.pcapng"));
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(got[1].time, (CaptureTime{1714979289, 200123}));  // cooked, in nanoseconds
}

// Files the tests build, in the variants no tool here writes: big-endian,
// several sections, a power-of-two time resolution, a time offset.
class BuiltFiles : public test::TempDirTest {};

TEST_F(BuiltFiles, ReadAsLibpcapReadsThem) {
  const Bytes udp = MakeDatagram({.protocol = 17, .payload_length = 33});
  const Bytes icmp = MakeDatagram({.protocol = 1});
  std::vector<std::string> files;
  for (const bool big : {false, true}) {
    for (const bool nano : {false, true}) {
      files.push_back(test::PcapWithTimes(
          {{test::SllFrame(udp), 1700000000, 999999}, {test::SllFrame(icmp), 1700000001, 7}},
          {.link_type = 113, .big_endian = big, .nanoseconds = nano}));
    }
    test::PcapngBuilder b(big);
    b.interface({.link_type = 1, .resolution = 0x80 | 20})
        .packet(0, (uint64_t{1700000000} << 20) | 12345, test::EthernetFrame(udp))
        .other(4, 20)
        .interface({.link_type = 1, .resolution = 9, .offset = 3600})
        .packet(1, 1700000000987654321ull, test::EthernetFrame(icmp, 0x0800, 1))
        .section(big)
        .interface({.link_type = 1, .resolution = 3})
        .packet(0, 1700000002123ull, test::EthernetFrame(udp));
    files.push_back(b.bytes());
  }
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string path = Path("built" + std::to_string(i));
    test::WriteFile(path, files[i]);
    const std::vector<Datagram> expected = ReadWithLibpcap(path);
    EXPECT_GE(expected.size(), 2u) << i;
    EXPECT_EQ(ReadWithReader(path), expected) << i;
  }
}

class WrittenFile : public test::TempDirTest {
 protected:
  // Writes `datagrams` with the writer to a file; returns its path.
  std::string WritePcap(const std::vector<Datagram>& datagrams) {
    const std::string path = Path("written.pcap");
    std::string error;
    EXPECT_TRUE(test::WriteAll(path, datagrams, error)) << error;
    return path;
  }

  std::vector<Datagram> datagrams_ = {
      {MakeDatagram({.protocol = 17, .source_port = 53, .payload_length = 40}),
       {1700000000, 123456789}},
      {MakeDatagram({.protocol = 6, .destination_port = 80}), {1700000000, 999999999}},
      {MakeDatagram({.protocol = 1, .payload_length = 65535 - 28}), {1700000001, 0}},
      {MakeDatagram({.protocol = 2}), {0x7FFFFFFF, 1}},
  };
};

// libpcap 1.10 takes the seconds field for signed, unlike the file format
// and tshark, so its times are compared up to 2038-01-19 only.
TEST_F(WrittenFile, LibpcapReadsItAsWritten) {
  const std::string path = WritePcap(datagrams_);
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* p = pcap_open_offline(path.c_str(), errbuf);
  ASSERT_NE(p, nullptr) << errbuf;
  EXPECT_EQ(pcap_datalink(p), DLT_IPV4);
  EXPECT_EQ(pcap_snapshot(p), 65535);
  EXPECT_EQ(pcap_major_version(p), 2);
  EXPECT_EQ(pcap_minor_version(p), 4);
  pcap_close(p);
  EXPECT_EQ(ReadWithLibpcap(path), datagrams_);
}

TEST_F(WrittenFile, TsharkReadsItWithoutAWarning) {
  std::string version;
  if (RunShell("tshark -v 2>/dev/null", version) != 0) GTEST_SKIP() << "tshark is not installed";
  datagrams_.push_back({MakeDatagram({.protocol = 17}), {0xFFFFFFFF, 999999999}});
  const std::string path = WritePcap(datagrams_);
  const test::TsharkListing l = test::ListWithTshark(
      path, Path("tshark.err"), "-T fields -e frame.len -e frame.time_epoch -e ip.proto");
  ASSERT_EQ(l.status, 0);
  EXPECT_EQ(l.listed,
            "68\t1700000000.123456789\t17\n"
            "40\t1700000000.999999999\t6\n"
            "65535\t1700000001.000000000\t1\n"
            "28\t2147483647.000000001\t2\n"
            "28\t4294967295.999999999\t17\n");
  EXPECT_EQ(l.said, "");
}

// The portable names of the link types are the library's, as tcpdump
// prints them in "link-type ..."; raw IP's numbers in files (101) and on
// OpenBSD (14) are the library's DLT_RAW.
TEST(CaptureFileLibpcap, LinkTypeTextsAreTheLibrarysNames) {
  for (const int link_type : {kLinkNull, kLinkEthernet, kLinkRaw, kLinkLoop, kLinkLinuxSll,
                              kLinkIpv4, kLinkLinuxSll2}) {
    const char* name = pcap_datalink_val_to_name(link_type);
    const char* description = pcap_datalink_val_to_description(link_type);
    ASSERT_NE(name, nullptr) << link_type;
    ASSERT_NE(description, nullptr) << link_type;
    EXPECT_EQ(LinkTypeText(link_type), std::string(name) + " (" + description + ")");
  }
  EXPECT_EQ(LinkTypeText(kLinkRawFile), LinkTypeText(DLT_RAW));
  EXPECT_EQ(LinkTypeText(kLinkRawOpenBsd), LinkTypeText(DLT_RAW));
  EXPECT_EQ(LinkTypeText(105), "DLT 105");
  EXPECT_EQ(LinkTypeText(-1), "none");
}

}  // namespace
}  // namespace pw
