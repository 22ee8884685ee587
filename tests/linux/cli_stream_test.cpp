// -w streams: the program copies a capture file of 30,000 datagrams whole,
// ends by itself at -c 12,000, keeps a ring of three whole files with the
// newest datagrams, leaves every datagram in a file that tshark reads when
// it is killed two seconds after the last one, and ends with status 1 and
// the whole records before it when the file cannot grow.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "linux/libpcap_reading.h"
#include "linux/program_run.h"
#include "support/datagram_builder.h"
#include "support/pcap_file.h"
#include "support/temp_dir.h"

namespace pw {
namespace {

using test::ProgramResult;

constexpr uint32_t kLinkRawFile = 101;

// Datagrams of 28 bytes and `payload` more, each numbered by its source
// port and address.
std::vector<std::vector<uint8_t>> Numbered(size_t count, size_t payload = 0) {
  std::vector<std::vector<uint8_t>> datagrams;
  datagrams.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    std::vector<uint8_t> d = test::MakeDatagram({.protocol = 17,
                                                 .source_port = static_cast<uint16_t>(i),
                                                 .destination_port = 53,
                                                 .payload_length = payload});
    d[14] = static_cast<uint8_t>(i >> 16);
    datagrams.push_back(d);
  }
  return datagrams;
}

class StreamTest : public test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    datagrams_ = Numbered(30000);
    test::WriteFile(Path("big.pcap"), test::PcapBytes(datagrams_, {.link_type = kLinkRawFile}));
  }

  ProgramResult Run(std::vector<std::string> args, test::ProgramSetup setup = {}) {
    args.insert(args.begin(), {"-r", Path("big.pcap"), "-q"});
    return test::RunProgram(args, setup);
  }

  // The datagrams of a written file, as libpcap reads them.
  std::vector<std::vector<uint8_t>> Written(const std::string& name) const {
    std::vector<std::vector<uint8_t>> bytes;
    for (const test::Datagram& d : test::ReadWithLibpcap(Path(name))) bytes.push_back(d.bytes);
    return bytes;
  }

  std::vector<std::vector<uint8_t>> datagrams_;
};

TEST_F(StreamTest, AFileIsCopiedWholePastTheStore) {
  const ProgramResult r = Run({"-w", Path("out.pcap")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("capture ended: end of the file\n30000 datagrams written, 10000 stored\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Written("out.pcap"), datagrams_);
}

TEST_F(StreamTest, MinusCEndsTheCaptureByItself) {
  const ProgramResult r = Run({"-c", "12000", "-w", Path("out.pcap")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("capture ended: 12000 datagrams written, as -c asked\n"
                       "12000 datagrams written, 10000 stored\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Written("out.pcap"),
            std::vector<std::vector<uint8_t>>(datagrams_.begin(), datagrams_.begin() + 12000));
}

// 30,000 records of 144 bytes make five files of a million bytes: the
// ring keeps the last three, each whole and at most a million bytes long.
TEST_F(StreamTest, ARingOfThreeFilesHoldsTheNewestDatagrams) {
  datagrams_ = Numbered(30000, 100);
  test::WriteFile(Path("big.pcap"), test::PcapBytes(datagrams_, {.link_type = kLinkRawFile}));
  const ProgramResult r = Run({"-C", "1", "-W", "3", "-w", Path("ring")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Files(), (std::vector<std::string>{"big.pcap", "ring0", "ring1", "ring2"}));
  constexpr size_t kPerFile = (1000000 - 24) / 144;
  size_t first_kept = datagrams_.size();
  size_t kept = 0;
  for (const char* name : {"ring0", "ring1", "ring2"}) {
    EXPECT_LE(test::ReadFile(Path(name)).size(), 1000000u) << name;
    const std::vector<std::vector<uint8_t>> got = Written(name);
    ASSERT_FALSE(got.empty()) << name;
    const auto at = std::find(datagrams_.begin(), datagrams_.end(), got.front());
    ASSERT_NE(at, datagrams_.end()) << name;
    const auto start = static_cast<size_t>(at - datagrams_.begin());
    EXPECT_EQ(start % kPerFile, 0u) << name;
    EXPECT_EQ(got, std::vector<std::vector<uint8_t>>(
                       at, at + static_cast<long>(std::min(kPerFile, datagrams_.size() - start))))
        << name;
    first_kept = std::min(first_kept, start);
    kept += got.size();
  }
  EXPECT_EQ(first_kept + kept, datagrams_.size());
}

// Datagrams that came through a pipe are in the file within a second:
// killed two seconds after the last one, the program leaves all of them.
TEST_F(StreamTest, KilledTwoSecondsAfterTheLastDatagramLosesNone) {
  const std::vector<std::vector<uint8_t>> sent(datagrams_.begin(), datagrams_.begin() + 25000);
  const std::string file = test::PcapBytes(sent, {.link_type = kLinkRawFile});
  int feed[2];
  ASSERT_EQ(pipe2(feed, O_CLOEXEC), 0);
  test::ProgramSetup setup;
  setup.stdin_fd = feed[0];
  test::ProgramRun run({"-r", "-", "-q", "-w", Path("killed.pcap")}, setup);
  close(feed[0]);
  std::thread writer([&] {
    for (size_t at = 0; at < file.size();) {
      const ssize_t n = write(feed[1], file.data() + at, file.size() - at);
      if (n <= 0) break;
      at += static_cast<size_t>(n);
    }
  });
  writer.join();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  kill(run.pid(), SIGKILL);
  const ProgramResult r = run.finish();
  close(feed[1]);
  EXPECT_EQ(r.signal, SIGKILL);
  const test::TsharkListing listing =
      test::ListWithTshark(Path("killed.pcap"), Path("tshark.err"), "-T fields -e frame.len");
  EXPECT_EQ(listing.status, 0) << listing.said;
  EXPECT_EQ(listing.said, "");
  EXPECT_EQ(std::count(listing.listed.begin(), listing.listed.end(), '\n'), 25000);
  EXPECT_EQ(Written("killed.pcap"), sent);
}

// A file past the process's size limit, or a full device: status 1, the
// reason, and the whole records written before.
TEST_F(StreamTest, AFileThatCannotGrowEndsTheCaptureWithItsWholeRecords) {
  test::ProgramSetup limited;
  limited.file_size_limit = 100000;
  ProgramResult r = Run({"-w", Path("limited.pcap")}, limited);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("pebblewire: capture failed: cannot write " + Path("limited.pcap") +
                       ": File too large\n"),
            std::string::npos)
      << r.err;
  const std::vector<std::vector<uint8_t>> got = Written("limited.pcap");
  EXPECT_EQ(test::ReadFile(Path("limited.pcap")).size(), 24 + 44 * got.size());
  EXPECT_EQ(got.size(), (100000 - 24) / 44);
  EXPECT_EQ(got, std::vector<std::vector<uint8_t>>(datagrams_.begin(),
                                                   datagrams_.begin() + static_cast<long>(got.size())));

  r = Run({"-w", "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "pebblewire: cannot write /dev/full: No space left on device\n");
}

// The file being read is never written: not as -w's file, nor as one
// that a ring would reach.
TEST_F(StreamTest, TheFileBeingReadIsNotWritten) {
  const std::string before = test::ReadFile(Path("big.pcap"));
  ProgramResult r = Run({"-w", Path("./big.pcap")});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "pebblewire: -r/--read and -w/--write name the same file: writing it would destroy "
            "what is read\nTry 'pebblewire --help' for more information.\n");
  ASSERT_EQ(link(Path("big.pcap").c_str(), Path("r1").c_str()), 0);
  r = Run({"-C", "1", "-w", Path("r")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write " + Path("r1") + ": it is the file being read"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(test::ReadFile(Path("big.pcap")), before);
}

}  // namespace
}  // namespace pw
