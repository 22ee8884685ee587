// The `pebblewire` program run end to end on capture files: what it prints
// on stdout and stderr, its exit status, and the files it saves.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/datagram_builder.h"
#include "tests/pcap_file.h"
#include "tests/temp_dir.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the program with `args`; with `file_size_limit`, under that limit.
Result RunProgram(const std::vector<std::string>& args, const fs::path& dir,
           std::optional<rlim_t> file_size_limit = std::nullopt) {
  const std::string out_path = (dir / "stdout").string();
  const std::string err_path = (dir / "stderr").string();
  const pid_t child = fork();
  if (child == 0) {
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (file_size_limit) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{*file_size_limit, *file_size_limit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(PW_PROGRAM));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(PW_PROGRAM, argv.data());
    _exit(127);
  }
  Result r;
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    r.status = WEXITSTATUS(status);
  }
  r.out = test::ReadFile(out_path);
  r.err = test::ReadFile(err_path);
  fs::remove(out_path);
  fs::remove(err_path);
  return r;
}

class ProgramTest : public test::TempDirTest {
 protected:
  Result Pebblewire(const std::vector<std::string>& args,
                    std::optional<rlim_t> limit = std::nullopt) {
    return RunProgram(args, dir_, limit);
  }
};

// stdout without its first line, the system description.
std::string Rows(const std::string& out) {
  const size_t nl = out.find('\n');
  return nl == std::string::npos ? "" : out.substr(nl + 1);
}

const std::string kLoopbackFile = std::string(PW_TEST_DATA) + "/tcpdump_lo.pcap";

TEST_F(ProgramTest, PrintsTheSystemAndOneRowPerStoredDatagram) {
  Result r = Pebblewire({"-r", kLoopbackFile, "-p", "tcp,udp,icmp"});
  EXPECT_EQ(r.status, 0) << r.err;
  const size_t nl = r.out.find('\n');
  ASSERT_NE(nl, std::string::npos);
  EXPECT_NE(r.out.substr(0, nl).find("Linux"), std::string::npos) << r.out;
  EXPECT_LE(nl, 63u);
  EXPECT_EQ(Rows(r.out),
            "\t0\tudp\t127.0.0.1\t40000\t127.0.0.1\t40001\t38\t64\n"
            "\t1\tudp\t127.0.0.1\t40000\t127.0.0.1\t40001\t128\t64\n"
            "\t2\tudp\t127.0.0.1\t40000\t127.0.0.1\t40001\t1028\t64\n"
            "\t3\ticmp\t127.0.0.1\t0\t127.0.0.1\t0\t38\t64\n"
            "\t4\ticmp\t127.0.0.1\t0\t127.0.0.1\t0\t38\t64\n");
  EXPECT_EQ(r.err, "5 datagrams stored\n");

  struct Case {
    std::vector<std::string> args;
    size_t rows;
  } cases[] = {
      {{}, 3},  // tcp and udp, as the dialog starts
      {{"-p", "icmp"}, 2},
      {{"-p", "udp", "-t", "127.0.0.1:40001"}, 3},
      {{"-t", "127.0.0.1:40002"}, 0},
      {{"-f", "*:40001"}, 0},
      {{"-p", "tcp,udp,icmp", "-c", "2"}, 2},
      {{"-p", "udp", "--quiet"}, 0},
  };
  for (Case& c : cases) {
    c.args.insert(c.args.begin(), {"-r", kLoopbackFile});
    r = Pebblewire(c.args);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string rows = Rows(r.out);
    EXPECT_EQ(static_cast<size_t>(std::count(rows.begin(), rows.end(), '\n')), c.rows)
        << c.args[2];
  }
  EXPECT_EQ(r.err, "3 datagrams stored\n");  // quiet still counts
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
  const Result r = Pebblewire({"-r", input, "--save-log", Path("log.txt"), "--save-packets",
                               Path("packets.bin")});
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
  EXPECT_EQ(Rows(r.out), rows);
  EXPECT_EQ(Files(), (std::vector<std::string>{"log.txt", "packets.bin", "three.pcap"}));
}

TEST_F(ProgramTest, DetailsReportsFollowTheRows) {
  // A udp datagram with payload "AB\x1b[2J" (an escape sequence) as packet 0.
  std::vector<uint8_t> d = test::MakeDatagram(
      {.protocol = 17, .source_port = 1025, .destination_port = 53, .payload_length = 6});
  const char payload[] = "AB\x1b[2J";
  std::copy(payload, payload + 6, d.end() - 6);
  const std::string input = Path("one.pcap");
  test::WriteFile(input, test::PcapBytes({d}, {.link_type = 101}));

  Result r = Pebblewire({"-r", input, "-q", "-d", "0", "-d", "1", "--hex", "tcp"});
  EXPECT_EQ(r.status, 1);  // packet 1 is not stored
  EXPECT_EQ(Rows(r.out),
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
  EXPECT_EQ(r.err, "1 datagram stored\npebblewire: packet 1 is not stored\n");

  r = Pebblewire({"-r", kLoopbackFile, "-q", "-d", "4", "-p", "icmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Rows(r.out), "don't found data!\n");  // two icmp rows only
}

TEST_F(ProgramTest, NothingToSaveWritesNoFile) {
  const Result r = Pebblewire({"-r", kLoopbackFile, "-p", "igmp", "--save-log", Path("log.txt"),
                               "--save-packets", Path("packets.bin")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "0 datagrams stored\n"
            "pebblewire: nothing to save: the sniff log is empty, " + Path("log.txt") +
                " not written\n"
                "pebblewire: nothing to save: no datagram is stored, " + Path("packets.bin") +
                " not written\n");
  EXPECT_TRUE(Files().empty());
}

TEST_F(ProgramTest, FailuresGiveAMessageAndAnExitStatus) {
  test::WriteFile(Path("notes.txt"), "not a capture\n");
  std::string cut = test::PcapBytes(
      {test::MakeDatagram({.protocol = 17}), test::MakeDatagram({.protocol = 17})},
      {.link_type = 101});
  cut.resize(cut.size() - 5);
  test::WriteFile(Path("cut.pcap"), cut);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;   // the start of stderr
    size_t rows;
  } cases[] = {
      {{"--bogus"}, 2, "pebblewire: unknown option --bogus\nTry 'pebblewire --help'", 0},
      {{"-c", "0"}, 2, "pebblewire: -c/--count: \"0\" is not", 0},
      {{"-d", "10000"}, 2, "pebblewire: -d/--details: \"10000\" is not a packet number", 0},
      {{"--tcp-view", "hex"}, 2, "pebblewire: --tcp-view: \"hex\" is not text or ascii", 0},
      {{"--hex=icmp"}, 2, "pebblewire: --hex: \"icmp\" is not udp or tcp", 0},
      {{"extra"}, 2, "pebblewire: unexpected argument \"extra\"", 0},
      {{"-r", Path("notes.txt")}, 1, "pebblewire: cannot capture: " + Path("notes.txt") + ": ", 0},
      {{"-r", Path("missing.pcap")}, 1, "pebblewire: cannot capture: " + Path("missing.pcap"), 0},
      {{"-r", Path("cut.pcap")}, 1, "pebblewire: capture failed: " + Path("cut.pcap"), 1},
      {{"-r", kLoopbackFile, "--save-log", Path("no/dir/log.txt")}, 1,
       "pebblewire: cannot write " + Path("no/dir/log.txt") + ": No such file or directory\n", 0},
      {{"-r", kLoopbackFile, "--save-packets", "/dev/full"}, 1,
       "3 datagrams stored\npebblewire: cannot write /dev/full: No space left on device\n", 3},
  };
  for (const Case& c : cases) {
    const Result r = Pebblewire(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << r.err;
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
    const std::string rows = Rows(r.out);
    EXPECT_EQ(static_cast<size_t>(std::count(rows.begin(), rows.end(), '\n')), c.rows)
        << r.out;
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"cut.pcap", "notes.txt"}));
}

TEST_F(ProgramTest, AFailedWriteLeavesNoShortFile) {
  std::vector<std::vector<uint8_t>> big(
      5, test::MakeDatagram({.protocol = 17, .payload_length = 10000}));
  const std::string input = Path("big.pcap");
  test::WriteFile(input, test::PcapBytes(big, {.link_type = 101}));
  test::WriteFile(Path("packets.bin"), "old");
  const Result r =
      Pebblewire({"-r", input, "--save-packets", Path("packets.bin")}, rlim_t{20000});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("pebblewire: cannot write " + Path("packets.bin") + ": File too large"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(test::ReadFile(Path("packets.bin")) == "old");
  EXPECT_EQ(Files(), (std::vector<std::string>{"big.pcap", "packets.bin"}));
}

TEST_F(ProgramTest, PoolFullIsExplained) {
  std::vector<std::vector<uint8_t>> big(
      15, test::MakeDatagram({.protocol = 17, .payload_length = 65535 - 28}));
  const std::string input = Path("huge.pcap");
  test::WriteFile(input, test::PcapBytes(big, {.link_type = 101}));
  const Result r = Pebblewire({"-r", input, "-q"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "pebblewire: capture ended: the 819200 bytes for datagrams are full\n"
            "12 datagrams stored\n");
}

TEST_F(ProgramTest, ListVersionAndHelp) {
  Result r = Pebblewire({"-D"});
  EXPECT_EQ(r.status, 0);
  ASSERT_GE(r.out.size(), 10u);
  EXPECT_EQ(r.out.substr(r.out.size() - 10), "127.0.0.1\n");
  r = Pebblewire({"-V"});
  EXPECT_EQ(r.out, "pebblewire 0.1.0\n");
  r = Pebblewire({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: pebblewire", 0), 0u);
}

}  // namespace
}  // namespace pw
