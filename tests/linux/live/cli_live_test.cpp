// The `pebblewire` program capturing live, inside network namespaces that
// the tests make and remove: namespace A holds its loopback device, an
// interface pwa0 with a primary and a secondary address, and a veth pair
// pwc0/pwc1 without addresses; namespace B holds pwb0, the other end of
// pwa0, from where datagrams are sent. Also the packet limit and Ctrl-C at
// the same moment, on namespace A's loopback device. Needs root; skips
// otherwise. Every loop is bounded.
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/capture_store.h"
#include "linux/libpcap_reading.h"
#include "linux/program_run.h"
#include "support/pcap_file.h"
#include "support/temp_dir.h"

namespace pw {
namespace {

using test::ProgramResult;
using test::ProgramRun;

bool Sh(const std::string& command) { return std::system(command.c_str()) == 0; }

// Runs `work` on a thread of its own inside namespace `ns`.
void InNamespace(const std::string& ns, const std::function<void()>& work) {
  std::thread([&] {
    const int fd = open(("/var/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && setns(fd, CLONE_NEWNET) == 0) work();
    if (fd >= 0) close(fd);
  }).join();
}

// Sends `count` udp datagrams of `size` bytes from a socket bound to
// `from` (port 40000) to `to`:`port`, pausing now and then so that no
// buffer overflows.
void SendUdp(const char* from, const char* to, uint16_t port, int count, size_t size = 10) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in source{};
  source.sin_family = AF_INET;
  source.sin_port = htons(40000);
  inet_pton(AF_INET, from, &source.sin_addr);
  bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source);
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  inet_pton(AF_INET, to, &target.sin_addr);
  const std::string payload(size, 'p');
  for (int i = 0; i < count; ++i) {
    sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&target),
           sizeof target);
    if (i % 200 == 199) std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  close(fd);
}

size_t Lines(const std::string& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

class CliLiveTest : public test::TempDirTest {
 protected:
  void SetUp() override {
    if (geteuid() != 0) {
      std::printf("SKIP: network namespaces and live capture need root\n");
      GTEST_SKIP() << "network namespaces and live capture need root";
    }
    TempDirTest::SetUp();
    const std::string a = a_;
    const std::string b = b_;
    ASSERT_TRUE(Sh("ip netns add " + a + " && ip netns add " + b)) << "cannot make namespaces";
    made_ = true;
    ASSERT_TRUE(Sh("ip -n " + a + " link set lo up"
                   " && ip -n " + a + " link add pwa0 type veth peer name pwb0"
                   " && ip -n " + a + " link set pwb0 netns " + b +
                   " && ip -n " + a + " addr add 10.99.0.1/24 dev pwa0"
                   " && ip -n " + a + " addr add 10.99.0.11/24 dev pwa0"
                   " && ip -n " + a + " link set pwa0 addrgenmode none"
                   " && ip -n " + a + " addr add fd00:99::1/64 dev pwa0 nodad"
                   " && ip -n " + a + " link set pwa0 up"
                   " && ip -n " + b + " addr add 10.99.0.2/24 dev pwb0"
                   " && ip -n " + b + " link set pwb0 up"
                   " && ip -n " + a + " link add pwc0 type veth peer name pwc1"));
  }

  // Removing a namespace removes its interfaces.
  void TearDown() override {
    if (made_) Sh("ip netns del " + a_ + "; ip netns del " + b_);
    if (geteuid() == 0) TempDirTest::TearDown();
  }

  test::ProgramSetup InA() const {
    test::ProgramSetup setup;
    setup.netns = a_;
    return setup;
  }

  const std::string a_ = "pwcli_a_" + std::to_string(getpid());
  const std::string b_ = "pwcli_b_" + std::to_string(getpid());
  bool made_ = false;
};

TEST_F(CliLiveTest, ListsEveryInterfaceWithItsAddressesInTheOrderOfTheDefault) {
  unsigned c0 = 0;
  unsigned c1 = 0;
  InNamespace(a_, [&] {
    c0 = if_nametoindex("pwc0");
    c1 = if_nametoindex("pwc1");
  });
  ASSERT_TRUE(c0 != 0 && c1 != 0);
  const std::string unaddressed = c0 < c1 ? "pwc0 (no IPv4 address)\npwc1 (no IPv4 address)\n"
                                          : "pwc1 (no IPv4 address)\npwc0 (no IPv4 address)\n";
  const ProgramResult r = test::RunProgram({"-D"}, InA());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "pwa0 10.99.0.1 10.99.0.11 fd00:99::1\nlo 127.0.0.1 ::1\n" + unaddressed);
  EXPECT_EQ(r.err, "");
}

// Runs the program in namespace A with `args` until it listens, sends
// three datagrams from B to each port of `ports`, and returns the end.
ProgramResult CaptureFromB(const test::ProgramSetup& setup, const std::string& b,
                           std::vector<std::string> args, const std::string& listening,
                           const std::vector<uint16_t>& ports) {
  ProgramRun run(args, setup);
  EXPECT_TRUE(run.wait_for_err("listening on " + listening + ",")) << run.err();
  InNamespace(b, [&] {
    for (const uint16_t port : ports) SendUdp("10.99.0.2", "10.99.0.1", port, 3);
  });
  run.wait_for_out("\t2\tudp");
  return run.finish();
}

TEST_F(CliLiveTest, TheInterfaceIsChosenByNameAddressSecondaryAddressAnyOrDefault) {
  struct Case {
    std::vector<std::string> args;
    const char* device;
  } cases[] = {
      {{"-i", "pwa0"}, "pwa0"},
      {{"-i", "10.99.0.1"}, "pwa0"},
      {{"-i", "10.99.0.11"}, "pwa0"},  // the secondary address
      {{"-i", "fd00:99::1"}, "pwa0"},  // an IPv6 address
      {{"-i", "any"}, "any"},
      {{}, "pwa0"},  // the first address -D lists
  };
  for (Case& c : cases) {
    c.args.insert(c.args.end(), {"-p", "udp", "-t", "*:5301", "-c", "3"});
    const ProgramResult r = CaptureFromB(InA(), b_, c.args, c.device, {5301});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "\t0\tudp\t10.99.0.2\t40000\t10.99.0.1\t5301\t38\t64\n"
              "\t1\tudp\t10.99.0.2\t40000\t10.99.0.1\t5301\t38\t64\n"
              "\t2\tudp\t10.99.0.2\t40000\t10.99.0.1\t5301\t38\t64\n")
        << c.device;
  }
  for (const char* wrong : {"10.99.0.2", "10.99.1.1", "pwb0", "eth0x", "127.1", "fd00:99::2"}) {
    const ProgramResult r = test::RunProgram({"-i", wrong}, InA());
    EXPECT_EQ(r.status, 2) << wrong;
    EXPECT_EQ(r.err.rfind(std::string("pebblewire: -i/--interface: \"") + wrong, 0), 0u) << r.err;
  }
}

TEST_F(CliLiveTest, TheExpressionIsAppliedInTheKernelAndTheStreamsAreSplit) {
  const ProgramResult r = CaptureFromB(
      InA(), b_, {"-i", "pwa0", "-c", "3", "udp", "and", "dst", "port", "5302"}, "pwa0",
      {5303, 5302, 5304});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "\t0\tudp\t10.99.0.2\t40000\t10.99.0.1\t5302\t38\t64\n"
            "\t1\tudp\t10.99.0.2\t40000\t10.99.0.1\t5302\t38\t64\n"
            "\t2\tudp\t10.99.0.2\t40000\t10.99.0.1\t5302\t38\t64\n");
  const size_t nl = r.err.find('\n');
  ASSERT_NE(nl, std::string::npos);
  EXPECT_NE(r.err.substr(0, nl).find("Linux"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.substr(nl + 1),
            "listening on pwa0, link-type EN10MB (Ethernet), capture size 262144 bytes\n"
            "pebblewire: capture ended: 3 datagrams stored, as -c asked\n"
            "3 datagrams stored, 0 dropped by the kernel\n");

  const ProgramResult bad = test::RunProgram({"-i", "pwa0", "udp", "and"}, InA());
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err,
            "pebblewire: capture expression \"udp and\": can't parse filter expression: "
            "syntax error\nTry 'pebblewire --help' for more information.\n");
}

TEST_F(CliLiveTest, QuietOnATerminalStillShowsTheCount) {
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(terminal, 0);
  ASSERT_EQ(grantpt(terminal), 0);
  ASSERT_EQ(unlockpt(terminal), 0);
  test::ProgramSetup setup = InA();
  setup.stderr_fd = open(ptsname(terminal), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(setup.stderr_fd, 0);
  ProgramRun run({"-i", "lo", "-q", "-p", "udp", "-t", "*:5305"}, setup);
  close(setup.stderr_fd);
  std::string seen;
  char chunk[512];
  // Read the terminal until the count shows (bounded), then stop.
  for (int i = 0; i < 500 && seen.find("datagrams stored") == std::string::npos; ++i) {
    pollfd p{terminal, POLLIN, 0};
    if (poll(&p, 1, 20) == 1) {
      const ssize_t n = read(terminal, chunk, sizeof chunk);
      if (n > 0) seen.append(chunk, static_cast<size_t>(n));
    }
  }
  kill(run.pid(), SIGINT);
  const ProgramResult r = run.finish();
  close(terminal);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(seen.find("\r\033[K0 datagrams stored"), std::string::npos) << seen;
}

// A live loopback capture written with -w: libpcap reads back the
// datagrams that the rows list, each with a time within the capture's
// span; tshark lists as many without a warning; and -r of the written file
// prints the same rows.
TEST_F(CliLiveTest, ALiveCaptureWrittenAsPcapReadsBackAsCaptured) {
  const std::string written = Path("lo.pcap");
  timespec before{};
  clock_gettime(CLOCK_REALTIME, &before);
  ProgramRun run({"-i", "lo", "-p", "udp", "-t", "*:5306", "-c", "5", "-w", written}, InA());
  ASSERT_TRUE(run.wait_for_err("listening on lo,")) << run.err();
  InNamespace(a_, [] {
    for (const size_t size : {10, 100, 1000, 10000, 60000}) {
      SendUdp("127.0.0.1", "127.0.0.1", 5306, 1, size);
    }
  });
  const ProgramResult r = run.finish();
  timespec after{};
  clock_gettime(CLOCK_REALTIME, &after);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(Lines(r.out), 5u) << r.err;

  const std::vector<test::Datagram> got = test::ReadWithLibpcap(written);
  ASSERT_EQ(got.size(), 5u);
  const CaptureTime first{before.tv_sec, static_cast<uint32_t>(before.tv_nsec)};
  const CaptureTime last{after.tv_sec, static_cast<uint32_t>(after.tv_nsec)};
  CaptureTime previous = first;
  for (size_t k = 0; k < got.size(); ++k) {
    const size_t length = size_t{got[k].bytes[2]} << 8 | got[k].bytes[3];
    EXPECT_EQ(got[k].bytes.size(), length) << k;
    EXPECT_NE(r.out.find("\t" + std::to_string(k) + "\tudp\t127.0.0.1\t40000\t127.0.0.1\t5306\t" +
                         std::to_string(length) + "\t64\n"),
              std::string::npos)
        << k << ": " << r.out;
    EXPECT_TRUE(!(got[k].time < previous) && !(last < got[k].time)) << k;
    previous = got[k].time;
  }
  const test::TsharkListing listing = test::ListWithTshark(written, Path("tshark.err"));
  EXPECT_EQ(Lines(listing.listed), 5u) << listing.listed;
  EXPECT_EQ(listing.said, "");

  const ProgramResult again = test::RunProgram({"-r", written, "-p", "udp"});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out, r.out);
}

// What a race run left: its rows, log and packets agree, whole.
void ExpectWholeAndEqual(const std::string& rows, const std::string& log,
                         const std::string& packets, uint16_t port) {
  std::string expected_log;
  std::istringstream lines(rows);
  size_t offset = 0;
  size_t k = 0;
  for (std::string row; std::getline(lines, row); ++k) {
    expected_log += row + "\r\n";
    ASSERT_LE(offset + 20, packets.size()) << "datagram " << k << " is missing";
    const auto* d = reinterpret_cast<const uint8_t*>(packets.data() + offset);
    const size_t length = size_t{d[2]} << 8 | d[3];
    ASSERT_LE(offset + length, packets.size()) << "datagram " << k << " is cut";
    EXPECT_EQ(row, "\t" + std::to_string(k) + "\tudp\t127.0.0.1\t40000\t127.0.0.1\t" +
                       std::to_string(port) + "\t" + std::to_string(length) + "\t64");
    offset += length;
  }
  EXPECT_EQ(offset, packets.size()) << "bytes after the last listed datagram";
  EXPECT_TRUE(log == expected_log) << log.size() << " bytes of log, " << k << " rows";
}

// Ctrl-C arrives as the packet limit is reached: the end is said once (the
// limit when all was stored, else Ctrl-C), and the rows, the sniff log and
// the packets file agree.
TEST_F(CliLiveTest, TheLimitAndCtrlCAtTheSameMoment) {
  constexpr int kRuns = 40;
  int limit_won = 0;
  int ctrl_c_won = 0;
  for (int i = 0; i < kRuns; ++i) {
    const uint16_t port = static_cast<uint16_t>(5400 + i);
    const int limit = i % 6 == 0 ? static_cast<int>(kPacketLimit) : 40 + i;
    std::vector<std::string> args = {"-i", "lo", "-p", "udp", "-t", "*:" + std::to_string(port),
                                     "--save-log", Path("log.txt"), "--save-packets",
                                     Path("packets.bin")};
    if (limit != static_cast<int>(kPacketLimit)) {
      args.insert(args.end(), {"-c", std::to_string(limit)});
    }
    ProgramRun run(args, InA());
    ASSERT_TRUE(run.wait_for_err("listening on lo,")) << run.err();
    // The kernel hands the capture over in blocks, a few milliseconds
    // late: the signal comes from just before the last datagram to a few
    // milliseconds after it, around the moment the limit is reached.
    const int delay_us = (i * 7919) % 6000 - 1000;
    // Every fifth run, the signal comes once the last row is printed: the
    // limit was reached first, and the end must say so.
    const bool after_last_row = i % 5 == 4;
    InNamespace(a_, [&] {
      SendUdp("127.0.0.1", "127.0.0.1", port, limit - 1);
      if (delay_us < 0 && !after_last_row) kill(run.pid(), SIGINT);
      SendUdp("127.0.0.1", "127.0.0.1", port, 1);
      if (after_last_row) run.wait_for_out("\t" + std::to_string(limit - 1) + "\tudp");
      if (delay_us >= 0 || after_last_row) {
        std::this_thread::sleep_for(std::chrono::microseconds(after_last_row ? 0 : delay_us));
        kill(run.pid(), SIGINT);
      }
    });
    const ProgramResult r = run.finish();
    ASSERT_EQ(r.status, 0) << r.err;
    const bool by_limit = r.err.find("capture ended: " + std::to_string(limit) +
                                     " datagrams stored") != std::string::npos;
    const bool by_signal = r.err.find("capture ended: stopped by SIGINT") != std::string::npos;
    EXPECT_NE(by_limit, by_signal) << r.err;
    if (after_last_row) {
      EXPECT_TRUE(by_limit) << r.err;
    }
    limit_won += by_limit;
    ctrl_c_won += by_signal;
    const size_t rows = Lines(r.out);
    EXPECT_NE(r.err.find("\n" + std::to_string(rows) + " datagram"), std::string::npos) << r.err;
    // Whatever came first: a session that stored its limit says so.
    EXPECT_EQ(by_limit, rows == static_cast<size_t>(limit)) << rows << " rows, " << r.err;
    EXPECT_LE(rows, static_cast<size_t>(limit));
    ExpectWholeAndEqual(r.out, test::ReadFile(Path("log.txt")),
                        test::ReadFile(Path("packets.bin")), port);
    EXPECT_EQ(Files(), (std::vector<std::string>{"log.txt", "packets.bin"}));
  }
  std::printf("limit and Ctrl-C together, %d runs: the limit ended %d, Ctrl-C %d\n", kRuns,
              limit_won, ctrl_c_won);
}

}  // namespace
}  // namespace pw
