// The command line's terminal: the texts it says (system, origin, ends,
// summary, row times, detail lines) and the terminal view that prints the
// rows and the live count.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/terminal.h"
#include "engine/capture_store.h"

namespace pw::cli {
namespace {

TEST(Texts, DetailLinesKeepBytesExceptControlsOnATerminal) {
  const std::vector<std::string> entries = {"packet0 udp ", "", "a\tb\x1b[2J\x7f\x9b\xe9\r"};
  EXPECT_EQ(DetailLines(entries, false), "packet0 udp \n\na\tb\x1b[2J\x7f\x9b\xe9\r\n");
  EXPECT_EQ(DetailLines(entries, true), "packet0 udp \n\na\tb.[2J..\xe9.\n");
}

TEST(Texts, LinuxSystemDescription) {
  struct Case {
    std::string os_release;
    const char* kernel;
    const char* release;
    std::string text;
  } cases[] = {
      {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n",
       "Linux", "6.1.0-18-amd64", "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64"},
      {"PRETTY_NAME='Alpine Linux v3.19'", "Linux", "6.6.1", "Alpine Linux v3.19, Linux 6.6.1"},
      {"PRETTY_NAME=Gentoo", "Linux", "", "Gentoo, Linux"},
      {"", "Linux", "5.10.0", "Linux 5.10.0"},
      {"PRETTY_NAME=\"Odd\\\"Name\x01\"\n", "", "", "Odd\"Name"},
      {"PRETTY_NAME=\"" + std::string(80, 'x') + "\"", "Linux", "6.1",
       std::string(63, 'x')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DescribeLinuxSystem(c.os_release, c.kernel, c.release), c.text);
  }
}

TEST(Texts, EveryEndIsSaid) {
  EXPECT_EQ(SummaryText(0, std::nullopt), "0 datagrams stored");
  EXPECT_EQ(SummaryText(1, std::nullopt), "1 datagram stored");
  EXPECT_EQ(SummaryText(10000, 12), "10000 datagrams stored, 12 dropped by the kernel");
  struct Case {
    CaptureEnd why;
    uint32_t count;
    std::string message;
    bool failed;
  } cases[] = {
      {CaptureEnd::kLimitReached, 0,
       "capture ended: " + std::to_string(kPacketLimit) +
           " datagrams stored, the most a session holds",
       false},
      {CaptureEnd::kLimitReached, kPacketLimit,
       "capture ended: " + std::to_string(kPacketLimit) +
           " datagrams stored, the most a session holds",
       false},
      {CaptureEnd::kLimitReached, 5, "capture ended: 5 datagrams stored, as -c asked", false},
      {CaptureEnd::kLimitReached, 1, "capture ended: 1 datagram stored, as -c asked", false},
      {CaptureEnd::kSourceEnded, 0, "capture ended: end of the file", false},
      {CaptureEnd::kPoolFull, 0,
       "capture ended: the " + std::to_string(kBytePoolSize) + " bytes for datagrams are full",
       false},
      {CaptureEnd::kOpenFailed, 0, "cannot capture: why", true},
      {CaptureEnd::kSourceFailed, 0, "capture failed: why", true},
  };
  for (const Case& c : cases) {
    const EndReport end = DescribeEnd(c.why, "why", c.count);
    EXPECT_EQ(end.message, c.message);
    EXPECT_EQ(end.failed, c.failed) << c.message;
  }
  EXPECT_EQ(StoppedText("SIGINT"), "capture ended: stopped by SIGINT");
  EXPECT_EQ(OriginText(false, "lo", "EN10MB (Ethernet)", 65535),
            "listening on lo, link-type EN10MB (Ethernet), capture size 65535 bytes");
  EXPECT_EQ(OriginText(true, "a.pcap", "RAW (Raw IP)", 262144),
            "reading from file a.pcap, link-type RAW (Raw IP), capture size 262144 bytes");
}

std::string Contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  return text;
}

class TerminalViewTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetCaptureStore(*store_); }
  void Store(const char* row, RowSink& view, CaptureTime time = {}) {
    ASSERT_EQ(AppendDatagram(*store_, count_, datagram_, 20, 17, time, row, view),
              AppendOutcome::kStored);
  }
  std::unique_ptr<CaptureStore> store_ = std::make_unique<CaptureStore>();
  uint32_t count_ = 0;
  const uint8_t datagram_[20] = {0x45};
};

TEST_F(TerminalViewTest, PrintsTheSniffLogLinesAndTheLiveCount) {
  std::FILE* out = std::tmpfile();
  std::FILE* status = std::tmpfile();
  ASSERT_TRUE(out && status);
  TerminalView view(*store_, out, false, status);
  Store("\t0\tudp", view);
  Store("\t1\ttcp", view);
  EXPECT_TRUE(view.update());
  Store("\t2\ticmp", view);
  EXPECT_TRUE(view.update());
  EXPECT_TRUE(view.update());  // nothing new
  view.say(status, "a message");
  EXPECT_TRUE(view.finish());
  EXPECT_EQ(view.stored(), 3u);
  EXPECT_EQ(view.write_error(), 0);
  EXPECT_EQ(Contents(out), "\t0\tudp\n\t1\ttcp\n\t2\ticmp\n");
  EXPECT_EQ(Contents(status),
            "\r\033[K2 datagrams stored\r\033[K\r\033[K3 datagrams stored\r\033[Ka message\n");
  std::fclose(out);
  std::fclose(status);
}

// A time zone two hours east of UTC for the life of a test, given as a
// POSIX rule so that no zone file is needed.
class EastOfUtc {
 public:
  EastOfUtc() {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
    setenv("TZ", "XST-2", 1);
    tzset();
  }
  ~EastOfUtc() {
    if (saved_) setenv("TZ", saved_->c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

// --time: each row after its datagram's local time of day, microseconds
// cut from the nanoseconds, in the row's empty first field; a new session
// starts again at its own first datagram.
TEST_F(TerminalViewTest, RowTimesAreTheLocalTimesOfTheirDatagrams) {
  const EastOfUtc zone;
  EXPECT_EQ(RowTimeText({1700000000, 123456789}), "00:13:20.123456");  // 22:13:20 UTC
  EXPECT_EQ(RowTimeText({1700000000, 999999999}), "00:13:20.999999");
  EXPECT_EQ(RowTimeText({0, 0}), "02:00:00.000000");
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  TerminalView view(*store_, out, false, nullptr, true);
  Store("\t0\tudp", view, {1700000000, 5000});
  EXPECT_TRUE(view.update());
  Store("\t1\ttcp", view, {1700003600, 999999999});
  Store("\t2\ticmp", view, {1700003601, 0});
  EXPECT_TRUE(view.update());
  view.clear_rows();
  ResetCaptureStore(*store_);
  count_ = 0;
  Store("\t0\traw", view, {1700007200, 1000});
  EXPECT_TRUE(view.finish());
  EXPECT_EQ(Contents(out),
            "00:13:20.000005\t0\tudp\n"
            "01:13:20.999999\t1\ttcp\n"
            "01:13:21.000000\t2\ticmp\n"
            "02:13:20.000001\t0\traw\n");
  std::fclose(out);
}

TEST_F(TerminalViewTest, QuietPrintsNoRowsButStillTheCount) {
  std::FILE* out = std::tmpfile();
  std::FILE* status = std::tmpfile();
  ASSERT_TRUE(out && status);
  TerminalView quiet(*store_, out, true, status);
  quiet.start_refused(StartRefusal::kNotAllowed);  // said by the program, not here
  Store("\t0\tudp", quiet);
  EXPECT_TRUE(quiet.update());
  EXPECT_TRUE(quiet.finish());
  EXPECT_EQ(Contents(out), "");
  EXPECT_EQ(Contents(status), "\r\033[K1 datagram stored\r\033[K");
  std::fclose(out);
  std::fclose(status);
}

TEST_F(TerminalViewTest, AFailedWriteIsKeptWithItsReason) {
  const std::string path = testing::TempDir() + "pebblewire_read_only_rows";
  std::FILE* made = std::fopen(path.c_str(), "w");
  ASSERT_NE(made, nullptr);
  std::fclose(made);
  std::FILE* read_only = std::fopen(path.c_str(), "r");
  ASSERT_NE(read_only, nullptr);
  TerminalView view(*store_, read_only, false, nullptr);
  Store("\t0\tudp", view);
  EXPECT_FALSE(view.update());
  EXPECT_NE(view.write_error(), 0);
  Store("\t1\tudp", view);
  EXPECT_FALSE(view.finish());  // no second attempt
  EXPECT_EQ(view.stored(), 2u);
  std::fclose(read_only);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace pw::cli
