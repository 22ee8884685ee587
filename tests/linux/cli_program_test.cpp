// The `pebblewire` program run end to end on capture files: what it prints
// on standard output (rows and reports only) and standard error
// (everything else), its exit status, and the files it saves.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/capture_store.h"
#include "packet/ipv4_header.h"
#include "linux/libpcap_reading.h"
#include "linux/program_run.h"
#include "support/capture_file_builder.h"
#include "support/datagram_builder.h"
#include "support/pcap_file.h"
#include "support/temp_dir.h"
#include "support/test_data.h"
#include "ui/about_text.h"

namespace pw {
namespace {

using test::DataFile;
using test::ProgramResult;

class ProgramTest : public test::TempDirTest {
 protected:
  ProgramResult Pebblewire(const std::vector<std::string>& args,
                           const test::ProgramSetup& setup = {}) {
    return test::RunProgram(args, setup);
  }
};

size_t Lines(const std::string& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Standard error without its first line, the system description.
std::string AfterSystem(const std::string& err) {
  const size_t nl = err.find('\n');
  return nl == std::string::npos ? "" : err.substr(nl + 1);
}

const std::string kLoopbackFile = DataFile("tcpdump_lo.pcap");
const std::string kReadingLoopbackFile =
    "reading from file " + kLoopbackFile + ", link-type EN10MB (Ethernet), capture size 262144 bytes\n";
const std::string kTryHelp = "Try 'pebblewire --help' for more information.\n";
// What -w writes when nothing is stored: the pcap file header alone
// (nanosecond magic, version 2.4, snapshot length 65535, raw IP).
const std::string kEmptyPcap("\x4d\x3c\xb2\xa1\x02\x00\x04\x00\0\0\0\0\0\0\0\0"
                             "\xff\xff\x00\x00\x65\x00\x00\x00",
                             24);

// The bytes of one record of a pcap file, without the file header.
std::string Record(const std::vector<uint8_t>& datagram) {
  return test::PcapBytes({datagram}, {.link_type = 101}).substr(24);
}

TEST_F(ProgramTest, RowsOnStandardOutputEverythingElseOnStandardError) {
  const ProgramResult r = Pebblewire({"-r", kLoopbackFile, "-p", "tcp,udp,icmp"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "\t0\tudp\t127.0.0.1\t40000\t127.0.0.1\t40001\t38\t64\n"
            "\t1\tudp\t127.0.0.1\t40000\t127.0.0.1\t40001\t128\t64\n"
            "\t2\tudp\t127.0.0.1\t40000\t127.0.0.1\t40001\t1028\t64\n"
            "\t3\ticmp\t127.0.0.1\t0\t127.0.0.1\t0\t38\t64\n"
            "\t4\ticmp\t127.0.0.1\t0\t127.0.0.1\t0\t38\t64\n");
  const size_t nl = r.err.find('\n');
  ASSERT_NE(nl, std::string::npos);
  EXPECT_NE(r.err.substr(0, nl).find("Linux"), std::string::npos) << r.err;
  EXPECT_LE(nl, 63u);
  EXPECT_EQ(AfterSystem(r.err), kReadingLoopbackFile +
                                    "pebblewire: capture ended: end of the file\n"
                                    "5 datagrams stored\n");
}

// Row counts agree with what tcpdump prints for the same expression.
TEST_F(ProgramTest, FilterFieldsAndExpressionsOnAFile) {
  struct Case {
    std::vector<std::string> args;
    size_t rows;
    size_t stored;
  } cases[] = {
      {{}, 3, 3},  // tcp and udp, as the dialog starts
      {{"-p", "icmp"}, 2, 2},
      {{"-p", "udp", "-t", "127.0.0.1:40001"}, 3, 3},
      {{"-t", "127.0.0.1:40002"}, 0, 0},
      {{"-f", "*:40001"}, 0, 0},
      {{"-f", "127.0.0.1"}, 3, 3},
      {{"-b", "-f", "127.0.0.1", "-t", "127.0.0.1"}, 3, 3},
      {{"-p", "tcp,udp,icmp", "-c", "2"}, 2, 2},
      {{"-p", "udp", "--quiet"}, 0, 3},
      {{"-p", "tcp,udp,icmp", "icmp"}, 2, 2},
      {{"icmp"}, 0, 0},  // the expression passes them, -p does not
      {{"-p", "tcp,udp,icmp", "udp", "and", "len", ">", "100"}, 2, 2},
      {{"-p", "udp,icmp", "udp and greater 100"}, 2, 2},
      {{"port", "40001", "-p", "tcp,udp,icmp"}, 3, 3},
      {{"-p", "tcp,udp,icmp", "--", "not", "udp"}, 2, 2},
      {{"-p", "tcp,udp,icmp", "-f", "*:40000", "udp and len > 100"}, 2, 2},
  };
  for (Case& c : cases) {
    c.args.insert(c.args.begin(), {"-r", kLoopbackFile});
    const ProgramResult r = Pebblewire(c.args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), c.rows) << c.args.back();
    const std::string summary = "\n" + std::to_string(c.stored) + " datagrams stored\n";
    EXPECT_EQ(r.err.substr(r.err.size() - summary.size()), summary) << c.args.back();
  }
}

TEST_F(ProgramTest, ARefusedExpressionIsAWrongArgument) {
  test::WriteFile(Path("log.txt"), "older");
  const std::string raw = Path("raw.pcap");
  test::WriteFile(raw, test::PcapBytes({test::MakeDatagram({})}, {.link_type = 101}));
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"-r", kLoopbackFile, "--save-log", Path("log.txt"), "udp", "and"},
       "pebblewire: capture expression \"udp and\": can't parse filter expression: syntax error\n"},
      {{"-r", kLoopbackFile, "port 99999"},
       "pebblewire: capture expression \"port 99999\": illegal port number 99999 > 65535\n"},
      // Nothing but IP is taken: ARP alone matches nothing.
      {{"-r", kLoopbackFile, "arp"},
       "pebblewire: capture expression \"arp\": expression rejects all packets\n"},
      // Valid on Ethernet, not on raw IP.
      {{"-r", raw, "ether", "host", "01:02:03:04:05:06"},
       "pebblewire: capture expression \"ether host 01:02:03:04:05:06\": "},
  };
  for (const Case& c : cases) {
    const ProgramResult r = Pebblewire(c.args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
    EXPECT_EQ(r.err.substr(r.err.size() - kTryHelp.size()), kTryHelp);
  }
  EXPECT_EQ(test::ReadFile(Path("log.txt")), "older");
  EXPECT_EQ(Files(), (std::vector<std::string>{"log.txt", "raw.pcap"}));
}

TEST_F(ProgramTest, WrongArgumentsExitTwoBeforeAnythingHappens) {
  struct Case {
    std::vector<std::string> args;
    std::string err;  // the first line
  } cases[] = {
      {{"--bogus"}, "pebblewire: unknown option --bogus\n"},
      {{"-c", "0"}, "pebblewire: -c/--count: \"0\" is not a number from 1 to 10000\n"},
      {{"-f", "10.77.0.2:65536"}, "pebblewire: -f/--from: \"10.77.0.2:65536\" is not ADDR:PORT"},
      {{"-t", "localhost:8000"}, "pebblewire: -t/--to: \"localhost:8000\" is not ADDR:PORT"},
      {{"-b", "-f", "10.0.0.1:80", "-t", "10.0.0.2"}, "pebblewire: -b/--both works only"},
      {{"-r", "a.pcap", "-r", "b.pcap"}, "pebblewire: -r/--read is given twice; give it once\n"},
      {{"-c", "5", "-c", "6"}, "pebblewire: -c/--count is given twice; give it once\n"},
      {{"-i", "foo"}, "pebblewire: -i/--interface: \"foo\" is not an interface of this system: "
                      "give an interface name or an IPv4 or IPv6 address that -D lists, or any\n"},
      {{"-i", "999.1.1.1"}, "pebblewire: -i/--interface: \"999.1.1.1\" is not an interface"},
      {{"-i", "127.0.0.2"}, "pebblewire: -i/--interface: \"127.0.0.2\" is not an interface"},
      {{"-i", "lo", "-r", kLoopbackFile}, "pebblewire: -i/--interface does not go with -r"},
      {{"-d", "10000"}, "pebblewire: -d/--details: \"10000\" is not a packet number"},
      {{"--tcp-view", "hex"}, "pebblewire: --tcp-view: \"hex\" is not text or ascii\n"},
  };
  for (Case& c : cases) {
    c.args.insert(c.args.end(), {"--save-log", Path("log.txt")});
    const ProgramResult r = Pebblewire(c.args);
    EXPECT_EQ(r.status, 2) << c.args[0] << " " << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
    EXPECT_EQ(Lines(r.err), 2u) << r.err;
    EXPECT_EQ(r.err.substr(r.err.size() - kTryHelp.size()), kTryHelp);
  }
  EXPECT_TRUE(Files().empty());
}

TEST_F(ProgramTest, SaveFilesHoldExactlyWhatTheSaveCommandsWrite) {
  std::vector<std::vector<uint8_t>> datagrams;
  std::string pool;
  for (size_t length : {60, 40, 1500}) {
    datagrams.push_back(test::MakeDatagram({.protocol = 17, .source_port = 7,
                                            .destination_port = 9,
                                            .payload_length = length - 28}));
    datagrams.back().back() = static_cast<uint8_t>(length);
    pool.append(datagrams.back().begin(), datagrams.back().end());
  }
  const std::string input = Path("three.pcap");
  test::WriteFile(input, test::PcapBytes(datagrams, {.link_type = 101}));
  test::WriteFile(Path("log.txt"), "an older file, replaced");
  const ProgramResult r = Pebblewire({"-r", input, "--save-log", Path("log.txt"),
                                      "--save-packets", Path("packets.bin")});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string packets = test::ReadFile(Path("packets.bin"));
  EXPECT_EQ(packets.size(), 1600u);
  EXPECT_TRUE(packets == pool);
  const std::string log = test::ReadFile(Path("log.txt"));
  EXPECT_EQ(log,
            "\t0\tudp\t10.0.0.1\t7\t10.0.0.2\t9\t60\t64\r\n"
            "\t1\tudp\t10.0.0.1\t7\t10.0.0.2\t9\t40\t64\r\n"
            "\t2\tudp\t10.0.0.1\t7\t10.0.0.2\t9\t1500\t64\r\n");
  std::string rows = log;
  for (size_t at; (at = rows.find("\r\n")) != std::string::npos;) rows.erase(at, 1);
  EXPECT_EQ(r.out, rows);
  EXPECT_EQ(Files(), (std::vector<std::string>{"log.txt", "packets.bin", "three.pcap"}));
}

// --time puts each datagram's capture time (local, to the microsecond)
// before its row on standard output; the sniff log is saved without them.
TEST_F(ProgramTest, TimesBeforeTheRowsOnStandardOutputOnly) {
  const std::string input = Path("times.pcap");
  test::WriteFile(input, test::PcapWithTimes(
                             {{test::MakeDatagram({.protocol = 17, .source_port = 1024,
                                                    .destination_port = 80}),
                               1700000000, 123456789},
                              {test::MakeDatagram({.protocol = 6, .source_port = 1024,
                                                    .destination_port = 80}),
                               1700086399, 999999999}},
                             {.link_type = 101, .nanoseconds = true}));
  setenv("TZ", "UTC0", 1);
  const ProgramResult r = Pebblewire({"-r", input, "--time", "--save-log", Path("log.txt")});
  unsetenv("TZ");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "22:13:20.123456\t0\tudp\t10.0.0.1\t1024\t10.0.0.2\t80\t28\t64\n"
            "22:13:19.999999\t1\ttcp\t10.0.0.1\t1024\t10.0.0.2\t80\t40\t64\n");
  EXPECT_EQ(test::ReadFile(Path("log.txt")),
            "\t0\tudp\t10.0.0.1\t1024\t10.0.0.2\t80\t28\t64\r\n"
            "\t1\ttcp\t10.0.0.1\t1024\t10.0.0.2\t80\t40\t64\r\n");
}

// The datagrams of `protocols` from several files, in order of their
// times, as a stable merge keeps them.
std::vector<test::Datagram> Merged(const std::vector<std::vector<test::Datagram>>& files,
                                   const std::vector<uint8_t>& protocols) {
  std::vector<test::Datagram> all;
  for (const auto& file : files) {
    for (const test::Datagram& d : file) {
      const uint8_t protocol = ReadDatagramFacts(d.bytes.data(), d.bytes.size()).protocol;
      if (std::count(protocols.begin(), protocols.end(), protocol) > 0) all.push_back(d);
    }
  }
  std::stable_sort(all.begin(), all.end(), [](const test::Datagram& a, const test::Datagram& b) {
    return a.time.seconds != b.time.seconds ? a.time.seconds < b.time.seconds
                                            : a.time.nanoseconds < b.time.nanoseconds;
  });
  return all;
}

// -w keeps each stored datagram's bytes and time as the file read had them
// (nanoseconds too): classic pcap of either byte order and resolution, and
// a pcapng file with two link types, with and without an expression; the
// rows are printed as without -w. libpcap reads the written file back,
// and tshark lists as many frames without a warning.
TEST_F(ProgramTest, TheWrittenPcapKeepsEveryDatagramsBytesAndTime) {
  const std::string big_endian = Path("big_endian.pcap");
  test::WriteFile(big_endian,
                  test::PcapWithTimes(
                      {{test::SllFrame(test::MakeDatagram({.protocol = 1})), 1700000000, 999999},
                       {test::SllFrame(test::MakeDatagram({.protocol = 2})), 1700000001, 1}},
                      {.link_type = 113, .big_endian = true}));
  const std::vector<test::Datagram> eth = test::ReadWithLibpcap(DataFile("text2pcap_eth.pcap"));
  const std::vector<test::Datagram> sll =
      test::ReadWithLibpcap(DataFile("text2pcap_sll_ns.pcap"));
  struct Case {
    std::string input;
    std::vector<std::string> expression;
    std::vector<test::Datagram> expected;
  } cases[] = {
      {DataFile("tcpdump_lo_nano.pcap"), {},
       test::ReadWithLibpcap(DataFile("tcpdump_lo_nano.pcap"))},
      {big_endian, {}, test::ReadWithLibpcap(big_endian)},
      // The two captures that mergecap merged into one pcapng file, whose
      // GRE datagram the session's protocols (-p) leave out.
      {DataFile("mergecap_eth_sll.pcapng"), {}, Merged({eth, sll}, {1, 2, 6, 17, 255})},
      {DataFile("mergecap_eth_sll.pcapng"), {"udp"}, Merged({eth, sll}, {17})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    ASSERT_GE(c.expected.size(), 2u);
    std::vector<std::string> args = {"-r", c.input, "-p", "tcp,udp,icmp,igmp,raw"};
    args.insert(args.end(), c.expression.begin(), c.expression.end());
    const ProgramResult rows = Pebblewire(args);
    args.insert(args.begin() + 4, {"-w", Path("out.pcap")});
    const ProgramResult r = Pebblewire(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, rows.out);
    EXPECT_EQ(Lines(r.out), c.expected.size());
    EXPECT_EQ(test::ReadFile(Path("out.pcap")).substr(0, 24), kEmptyPcap);
    EXPECT_EQ(test::ReadWithLibpcap(Path("out.pcap")), c.expected);
    const test::TsharkListing listing =
        test::ListWithTshark(Path("out.pcap"), Path("tshark.err"));
    EXPECT_EQ(Lines(listing.listed), c.expected.size());
    EXPECT_EQ(listing.said, "");
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"big_endian.pcap", "out.pcap", "tshark.err"}));
}

// -r - reads standard input, here a pipe; -w - puts the pcap file alone on
// standard output, here a pipe too, the same bytes that -w FILE writes.
TEST_F(ProgramTest, StandardInputToStandardOutput) {
  ASSERT_EQ(Pebblewire({"-r", kLoopbackFile, "-w", Path("file.pcap")}).status, 0);
  const std::string input = test::ReadFile(kLoopbackFile);
  int feed[2];
  ASSERT_EQ(pipe2(feed, O_CLOEXEC), 0);
  ASSERT_EQ(write(feed[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(feed[1]);
  test::ProgramSetup from_pipe;
  from_pipe.stdin_fd = feed[0];
  const ProgramResult r = Pebblewire({"-r", "-", "-w", "-", "udp"}, from_pipe);
  close(feed[0]);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out == test::ReadFile(Path("file.pcap"))) << r.out.size() << " bytes";
  EXPECT_EQ(AfterSystem(r.err),
            "reading from file -, link-type EN10MB (Ethernet), capture size 262144 bytes\n"
            "pebblewire: capture ended: end of the file\n"
            "3 datagrams written, 3 stored\n");
  EXPECT_EQ(Files(), (std::vector<std::string>{"file.pcap"}));
}

// Ctrl-C while the reading waits on a FIFO that has no writer yet, or on a
// pipe whose writer has given one record and half of the next: the
// program ends with what it has, said as an end by Ctrl-C, and -w writes
// it.
TEST_F(ProgramTest, CtrlCWhileTheReadingWaits) {
  const std::string fifo = Path("feed");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string first = test::PcapBytes({test::MakeDatagram({.protocol = 17})},
                                            {.link_type = 101});
  const std::string half = Record(test::MakeDatagram({.protocol = 6})).substr(0, 30);
  for (const bool fed : {false, true}) {
    SCOPED_TRACE(fed ? "a pipe with one record and a half" : "a FIFO without a writer");
    int feed[2] = {-1, -1};
    test::ProgramSetup setup;
    if (fed) {
      ASSERT_EQ(pipe2(feed, O_CLOEXEC), 0);
      const std::string given = first + half;
      ASSERT_EQ(write(feed[1], given.data(), given.size()), static_cast<ssize_t>(given.size()));
      setup.stdin_fd = feed[0];
    }
    test::ProgramRun run({"-r", fed ? "-" : fifo, "-w", Path("got.pcap")}, setup);
    if (fed) {
      EXPECT_TRUE(run.wait_for_out("\t0\tudp")) << run.err();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    kill(run.pid(), SIGINT);
    const ProgramResult r = run.finish();
    for (const int fd : feed) {
      if (fd >= 0) close(fd);
    }
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string stored =
        fed ? "1 datagram written, 1 stored\n" : "0 datagrams written, 0 stored\n";
    EXPECT_NE(r.err.find("pebblewire: capture ended: stopped by SIGINT\n" + stored),
              std::string::npos)
        << r.err;
    EXPECT_EQ(test::ReadWithLibpcap(Path("got.pcap")).size(), fed ? 1u : 0u);
  }
}

TEST_F(ProgramTest, DetailsReportsFollowTheRows) {
  // A udp datagram with payload "AB\x1b[2J" (an escape sequence) as packet 0.
  std::vector<uint8_t> d = test::MakeDatagram(
      {.protocol = 17, .source_port = 1025, .destination_port = 53, .payload_length = 6});
  const char payload[] = "AB\x1b[2J";
  std::copy(payload, payload + 6, d.end() - 6);
  const std::string input = Path("one.pcap");
  test::WriteFile(input, test::PcapBytes({d}, {.link_type = 101}));

  ProgramResult r = Pebblewire({"-r", input, "-q", "-d", "0", "-d", "1", "--hex", "tcp"});
  EXPECT_EQ(r.status, 1);  // packet 1 is not stored
  // The udp and IPv4 lines behind the checksum line are the core's.
  const size_t added = r.out.find("length = 0\n");
  ASSERT_NE(added, std::string::npos);
  r.out.erase(added, r.out.find("data length = ") - added);
  EXPECT_EQ(r.out,
            "packets source:\n"
            "\n"
            "packet0 udp \n"
            "sourse port = 1025 \n"
            "destination port = 53 \n"
            "checksum = 0\n"
            "data length = 6\n"
            "data in ASCII view:\n"
            "AB\x1b[2J\n"  // to a file the entries go byte for byte
            "data in HEX view:\n"
            "41 42 1b 5b 32 4a \n"
            "\n"
            "don't found data!\n");
  EXPECT_NE(r.err.find("1 datagram stored\npebblewire: packet 1 is not stored\n"),
            std::string::npos)
      << r.err;

  r = Pebblewire({"-r", kLoopbackFile, "-q", "-d", "4", "-p", "icmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "don't found data!\n");  // two icmp rows only
}

TEST_F(ProgramTest, NothingToSaveWritesEmptyFilesInPlaceOfOlderOnes) {
  test::WriteFile(Path("log.txt"), "rows of an earlier run");
  test::WriteFile(Path("packets.bin"), "datagrams of an earlier run");
  test::WriteFile(Path("old.pcap"), test::ReadFile(kLoopbackFile));
  const ProgramResult r =
      Pebblewire({"-r", kLoopbackFile, "-p", "igmp", "--save-log", Path("log.txt"),
                  "--save-packets", Path("packets.bin"), "-w", Path("old.pcap")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(AfterSystem(r.err), kReadingLoopbackFile +
                                    "pebblewire: capture ended: end of the file\n"
                                    "0 datagrams written, 0 stored\n"
                                    "pebblewire: nothing to save: the sniff log is empty, " +
                                    Path("log.txt") + " written empty\n" +
                                    "pebblewire: nothing to save: no datagram is stored, " +
                                    Path("packets.bin") + " written empty\n");
  EXPECT_EQ(test::ReadFile(Path("log.txt")), "");
  EXPECT_EQ(test::ReadFile(Path("packets.bin")), "");
  EXPECT_EQ(test::ReadFile(Path("old.pcap")), kEmptyPcap);
  EXPECT_TRUE(test::ReadWithLibpcap(Path("old.pcap")).empty());
  EXPECT_EQ(Files(), (std::vector<std::string>{"log.txt", "old.pcap", "packets.bin"}));
}

TEST_F(ProgramTest, FailuresNameTheFileOnceAndGiveStatusOne) {
  test::WriteFile(Path("notes.txt"), "not a capture\n");
  std::string cut = test::PcapBytes(
      {test::MakeDatagram({.protocol = 17}), test::MakeDatagram({.protocol = 17})},
      {.link_type = 101});
  cut.resize(cut.size() - 5);
  test::WriteFile(Path("cut.pcap"), cut);
  struct Case {
    std::vector<std::string> args;
    std::string err;   // the whole of standard error, after the system's line when rows > 0
    size_t rows;
  } cases[] = {
      {{"-r", Path("notes.txt")},
       "pebblewire: cannot capture: " + Path("notes.txt") + ": not a pcap or pcapng file\n", 0},
      {{"-r", Path("missing.pcap")},
       "pebblewire: cannot capture: " + Path("missing.pcap") + ": No such file or directory\n", 0},
      {{"-r", kLoopbackFile, "--save-log", Path("no/dir/log.txt")},
       "pebblewire: cannot write " + Path("no/dir/log.txt") + ": No such file or directory\n", 0},
      {{"-r", kLoopbackFile, "--save-log", "/proc/version"},
       "pebblewire: cannot write /proc/version: /proc does not take new files\n", 0},
      {{"-r", kLoopbackFile, "-w", Path("no/dir/x.pcap")},
       "pebblewire: cannot write " + Path("no/dir/x.pcap") + ": No such file or directory\n", 0},
  };
  for (const Case& c : cases) {
    const ProgramResult r = Pebblewire(c.args);
    EXPECT_EQ(r.status, 1) << c.args[1];
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
  ProgramResult r = Pebblewire({"-r", Path("cut.pcap")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.out), 1u);
  EXPECT_NE(r.err.find("pebblewire: capture failed: " + Path("cut.pcap") +
                       ": cut short in the middle of record 2 (at byte 68)\n1 datagram stored\n"),
            std::string::npos)
      << r.err;
  r = Pebblewire({"-r", kLoopbackFile, "--save-packets", "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("3 datagrams stored\npebblewire: cannot write /dev/full: No space "
                       "left on device\n"),
            std::string::npos)
      << r.err;
  // -w writes its file header as the capture starts.
  r = Pebblewire({"-r", kLoopbackFile, "-w", "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "pebblewire: cannot write /dev/full: No space left on device\n");
  EXPECT_EQ(Files(), (std::vector<std::string>{"cut.pcap", "notes.txt"}));
}

TEST_F(ProgramTest, RowsThatCannotBeWrittenAreAFailure) {
  test::ProgramSetup to_full;
  to_full.stdout_fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(to_full.stdout_fd, 0);
  const ProgramResult r = Pebblewire({"-r", kLoopbackFile, "--save-log", Path("log.txt")}, to_full);
  close(to_full.stdout_fd);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("pebblewire: cannot write the rows: No space left on device\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Lines(test::ReadFile(Path("log.txt"))), 3u) << "what was stored is still saved";
}

TEST_F(ProgramTest, AFailedWriteLeavesNoShortFile) {
  std::vector<std::vector<uint8_t>> big(
      5, test::MakeDatagram({.protocol = 17, .payload_length = 10000}));
  const std::string input = Path("big.pcap");
  test::WriteFile(input, test::PcapBytes(big, {.link_type = 101}));
  test::WriteFile(Path("packets.bin"), "old");
  test::ProgramSetup limited;
  limited.file_size_limit = rlim_t{20000};
  const ProgramResult r = Pebblewire({"-r", input, "--save-packets", Path("packets.bin")}, limited);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("pebblewire: cannot write " + Path("packets.bin") + ": File too large\n"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(test::ReadFile(Path("packets.bin")) == "old");
  EXPECT_EQ(Files(), (std::vector<std::string>{"big.pcap", "packets.bin"}));
}

// The saved files hold exactly the datagrams and lines that the rows list.
void ExpectSavesMatchRows(const std::string& rows, const std::string& log,
                          const std::string& packets, const std::string& pool) {
  std::string expected_log = rows;
  for (size_t at = 0; (at = expected_log.find('\n', at)) != std::string::npos; at += 2) {
    expected_log.insert(at, "\r");
  }
  EXPECT_TRUE(log == expected_log) << log.size() << " bytes of log";
  EXPECT_EQ(packets.size(), pool.size());
  EXPECT_TRUE(packets == pool);
}

TEST_F(ProgramTest, MaximumSizeDatagramsFillThePool) {
  const std::vector<uint8_t> largest = test::MakeDatagram(
      {.protocol = 17, .source_port = 1, .destination_port = 2, .payload_length = 65535 - 28});
  const size_t fit = kBytePoolSize / largest.size();
  // Alone, and with a last datagram that fills the pool to its last byte.
  const std::vector<uint8_t> rest = test::MakeDatagram(
      {.protocol = 17, .source_port = 3, .destination_port = 4,
       .payload_length = kBytePoolSize - fit * largest.size() - 28});
  for (const bool to_the_byte : {false, true}) {
    std::vector<std::vector<uint8_t>> frames(fit, largest);
    if (to_the_byte) frames.push_back(rest);
    frames.insert(frames.end(), 3, largest);
    const std::string input = Path("huge.pcap");
    test::WriteFile(input, test::PcapBytes(frames, {.link_type = 101}));
    const ProgramResult r = Pebblewire({"-r", input, "--save-log", Path("log.txt"),
                                        "--save-packets", Path("packets.bin")});
    EXPECT_EQ(r.status, 0);
    const size_t stored = fit + (to_the_byte ? 1 : 0);
    EXPECT_NE(r.err.find("pebblewire: capture ended: the " + std::to_string(kBytePoolSize) +
                         " bytes for datagrams are full\n" + std::to_string(stored) +
                         " datagrams stored\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Lines(r.out), stored);
    std::string pool;
    for (size_t k = 0; k < stored; ++k) pool.append(frames[k].begin(), frames[k].end());
    ExpectSavesMatchRows(r.out, test::ReadFile(Path("log.txt")),
                         test::ReadFile(Path("packets.bin")), pool);
    EXPECT_EQ(test::ReadFile(Path("packets.bin")).size(),
              to_the_byte ? size_t{kBytePoolSize} : fit * largest.size());
  }
}

TEST_F(ProgramTest, LiveCaptureWithoutTheRightSaysWhatIsNeeded) {
  if (geteuid() != 0) {
    std::printf("SKIP: becoming an ordinary user needs root\n");
    GTEST_SKIP() << "becoming an ordinary user needs root";
  }
  test::ProgramSetup nobody;
  nobody.user = 65534;
  const ProgramResult r = Pebblewire({"-i", "lo"}, nobody);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "pebblewire: live capture needs root or the CAP_NET_RAW capability\n");
}

TEST_F(ProgramTest, ListVersionAndHelp) {
  ProgramResult r = Pebblewire({"-D"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("lo 127.0.0.1"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
  r = Pebblewire({"-V"});
  EXPECT_EQ(r.out, "pebblewire " + std::string(ProgramVersion()) + "\n");
  r = Pebblewire({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: pebblewire", 0), 0u);
}

TEST_F(ProgramTest, AClosedPipeEndsTheProgramQuietlyWithoutReadingOn) {
  // The file is a named pipe that the test feeds and never ends: the
  // program can only stop because its reader went away.
  signal(SIGPIPE, SIG_IGN);
  const std::string fifo = Path("feed.pcap");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  test::ProgramRun run({"-r", fifo, "-p", "udp", "--save-log", Path("log.txt")});
  const int feed = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(feed, 0);
  const std::string first = test::PcapBytes({test::MakeDatagram({.protocol = 17})},
                                            {.link_type = 101});
  ASSERT_EQ(write(feed, first.data(), first.size()), static_cast<ssize_t>(first.size()));
  ASSERT_TRUE(run.wait_for_out("\t0\tudp")) << run.err();
  run.close_output();
  // Records the filter drops: nothing more is written, yet the program ends.
  const std::string other = Record(test::MakeDatagram({.protocol = 1}));
  int fed = 0;
  for (; fed < 500 && !run.exited(); ++fed) {
    if (write(feed, other.data(), other.size()) < 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const ProgramResult r = run.finish();
  close(feed);
  EXPECT_EQ(r.signal, SIGPIPE) << r.err;
  EXPECT_EQ(r.err.find("cannot write"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("capture ended"), std::string::npos) << r.err;
  EXPECT_LT(fed, 500) << "the program read on after its reader had gone";
  EXPECT_EQ(test::ReadFile(Path("log.txt")), "\t0\tudp\t10.0.0.1\t0\t10.0.0.2\t0\t28\t64\r\n");
}

TEST_F(ProgramTest, AReaderThatLeavesAtOnceEndsTheProgramAsOtherCommands) {
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::vector<uint8_t>> many(3000, test::MakeDatagram({.protocol = 17}));
  const std::string input = Path("many.pcap");
  test::WriteFile(input, test::PcapBytes(many, {.link_type = 101}));
  test::ProgramRun run({"-r", input});
  run.close_output();
  const ProgramResult r = run.finish();
  // Either the rows fitted into the pipe before it closed, or the program
  // ended as a closed pipe ends it; never with an error of its own.
  EXPECT_TRUE(r.signal == SIGPIPE || r.status == 0) << r.status << " " << r.signal;
  EXPECT_EQ(r.err.find("cannot write"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace pw
