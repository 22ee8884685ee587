// The command line's portable parts: flags, texts, the terminal view.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/terminal.h"

namespace pw::cli {
namespace {

ParseResult Parse(std::vector<std::string_view> args) { return ParseCommandLine(args); }

TEST(CommandLine, DefaultsAreTheDialogsStartingState) {
  const ParseResult r = Parse({});
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.options.action, Action::kCapture);
  EXPECT_FALSE(r.options.interface_text);
  EXPECT_EQ(r.options.from_field, "*:*");
  EXPECT_EQ(r.options.to_field, "*:*");
  EXPECT_FALSE(r.options.both_traffic);
  EXPECT_TRUE(r.options.protocols.tcp && r.options.protocols.udp);
  EXPECT_FALSE(r.options.protocols.icmp || r.options.protocols.igmp || r.options.protocols.raw);
  EXPECT_EQ(r.options.count, 0u);
  EXPECT_FALSE(r.options.quiet || r.options.read_file || r.options.save_log ||
               r.options.save_packets);
}

TEST(CommandLine, ShortLongAttachedAndGroupedForms) {
  struct Case {
    std::vector<std::string_view> args;
  } cases[] = {
      {{"-i", "127.0.0.1", "-f", "10.0.0.1:80", "-t", "*:53", "-b", "-p", "icmp,raw",
        "-r", "x.pcap", "-c", "25", "-q", "--save-log", "log.txt", "--save-packets",
        "bytes.bin"}},
      {{"--interface=127.0.0.1", "--from=10.0.0.1:80", "--to", "*:53", "--both",
        "--protocols=icmp,raw", "--read", "x.pcap", "--count=25", "--quiet",
        "--save-log=log.txt", "--save-packets=bytes.bin"}},
      {{"-i127.0.0.1", "-f10.0.0.1:80", "-t*:53", "-bqpicmp,raw", "-rx.pcap", "-c25",
        "--save-log", "log.txt", "--save-packets", "bytes.bin"}},
  };
  for (const Case& c : cases) {
    const ParseResult r = ParseCommandLine(c.args);
    ASSERT_TRUE(r.ok) << r.error;
    const CliOptions& o = r.options;
    EXPECT_EQ(o.interface_text.value_or("?"), "127.0.0.1");
    EXPECT_EQ(o.from_field, "10.0.0.1:80");
    EXPECT_EQ(o.to_field, "*:53");
    EXPECT_TRUE(o.both_traffic);
    EXPECT_FALSE(o.protocols.tcp || o.protocols.udp || o.protocols.igmp);
    EXPECT_TRUE(o.protocols.icmp && o.protocols.raw);
    EXPECT_EQ(o.read_file.value_or("?"), "x.pcap");
    EXPECT_EQ(o.count, 25u);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.save_log.value_or("?"), "log.txt");
    EXPECT_EQ(o.save_packets.value_or("?"), "bytes.bin");
  }
  // Values are taken as typed: the filter fields accept any text, as the
  // dialog's combos do, and an empty field means any address and port.
  const ParseResult r = Parse({"-f", "", "-t", "host:-5", "-i", "", "-c", "10000"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.from_field, "");
  EXPECT_EQ(r.options.to_field, "host:-5");
  EXPECT_EQ(r.options.interface_text.value_or("?"), "");
  EXPECT_EQ(r.options.count, 10000u);
  EXPECT_EQ(Parse({"-D"}).options.action, Action::kListInterfaces);
  EXPECT_EQ(Parse({"--version"}).options.action, Action::kVersion);
  EXPECT_EQ(Parse({"-q", "-h"}).options.action, Action::kHelp);
}

TEST(CommandLine, WrongArgumentsAreRefusedWithAReason) {
  struct Case {
    std::vector<std::string_view> args;
    const char* error;
  } cases[] = {
      {{"-x"}, "unknown option -x"},
      {{"-qx"}, "unknown option -x"},
      {{"--intreface", "lo"}, "unknown option --intreface"},
      {{"-i"}, "-i/--interface needs ADDR"},
      {{"--count"}, "-c/--count needs N"},
      {{"-c", "0"}, "-c/--count: \"0\" is not a number from 1 to 10000"},
      {{"-c", "10001"}, "-c/--count: \"10001\" is not a number from 1 to 10000"},
      {{"-c", "-5"}, "-c/--count: \"-5\" is not a number from 1 to 10000"},
      {{"-c", "12x"}, "-c/--count: \"12x\" is not a number from 1 to 10000"},
      {{"--count="}, "-c/--count: \"\" is not a number from 1 to 10000"},
      {{"-p", "tcp,ftp"}, "-p/--protocols: \"tcp,ftp\" is not a comma list of tcp, udp, icmp, igmp, raw"},
      {{"-p", ""}, "-p/--protocols: \"\" is not a comma list of tcp, udp, icmp, igmp, raw"},
      {{"-p", "tcp,"}, "-p/--protocols: \"tcp,\" is not a comma list of tcp, udp, icmp, igmp, raw"},
      {{"-p", "TCP"}, "-p/--protocols: \"TCP\" is not a comma list of tcp, udp, icmp, igmp, raw"},
      {{"--quiet=yes"}, "-q/--quiet takes no value"},
      {{"-r", ""}, "-r/--read: the file name is empty"},
      {{"--save-log="}, "--save-log: the file name is empty"},
      {{"capture.pcap"}, "unexpected argument \"capture.pcap\""},
      {{"-"}, "unexpected argument \"-\""},
      {{"--save-log", "a", "--save-packets", "a"},
       "--save-log and --save-packets name the same file"},
  };
  for (const Case& c : cases) {
    const ParseResult r = ParseCommandLine(c.args);
    EXPECT_FALSE(r.ok) << c.error;
    EXPECT_EQ(r.error, c.error);
  }
}

TEST(CommandLine, DetailsAndReportViews) {
  ParseResult r = Parse({});
  EXPECT_TRUE(r.options.details.empty());
  EXPECT_TRUE(r.options.views.tcp_text);  // as a first run of the dialog
  EXPECT_FALSE(r.options.views.tcp_ascii || r.options.views.tcp_hex);

  r = Parse({"-d", "3", "-d0", "--details=9999", "--tcp-view", "ascii", "--hex=tcp"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.details, (std::vector<uint32_t>{3, 0, 9999}));
  EXPECT_TRUE(r.options.views.tcp_ascii);
  EXPECT_FALSE(r.options.views.tcp_text);
  EXPECT_TRUE(r.options.views.tcp_hex);

  r = Parse({"--tcp-view=ascii", "--tcp-view=text", "--hex=tcp", "--hex", "udp"});
  ASSERT_TRUE(r.ok) << r.error;  // the last one counts
  EXPECT_TRUE(r.options.views.tcp_text);
  EXPECT_FALSE(r.options.views.tcp_ascii || r.options.views.tcp_hex);

  for (std::string_view bad : {"-1", "10000", "", "x", "1e3"}) {
    EXPECT_FALSE(Parse({"-d", bad}).ok) << bad;
  }
}

TEST(Texts, DetailLinesKeepBytesExceptControlsOnATerminal) {
  const std::vector<std::string> entries = {"packet0 udp ", "", "a\tb\x1b[2J\x7f\x9b\xe9\r"};
  EXPECT_EQ(DetailLines(entries, false), "packet0 udp \n\na\tb\x1b[2J\x7f\x9b\xe9\r\n");
  EXPECT_EQ(DetailLines(entries, true), "packet0 udp \n\na\tb.[2J..\xe9.\n");
}

TEST(CommandLine, HelpNamesEveryFlag) {
  const std::string help = HelpText();
  for (const char* flag : {"-i, --interface ADDR", "-f, --from ADDR:PORT", "-t, --to ADDR:PORT",
                           "-b, --both", "-p, --protocols LIST", "-r, --read FILE",
                           "-c, --count N", "-q, --quiet", "--save-log FILE",
                           "--save-packets FILE", "-d, --details N", "--tcp-view text|ascii",
                           "--hex udp|tcp", "-D, --list-interfaces", "-V, --version",
                           "-h, --help"}) {
    EXPECT_NE(help.find(flag), std::string::npos) << flag;
  }
  size_t start = 0;
  while (start < help.size()) {
    const size_t end = help.find('\n', start);
    EXPECT_LE(end - start, 79u) << help.substr(start, end - start);
    start = end + 1;
  }
}

TEST(Texts, SystemDescription) {
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
    EXPECT_EQ(SystemDescription(c.os_release, c.kernel, c.release), c.text);
  }
}

TEST(Texts, SummaryAndEndMessages) {
  EXPECT_EQ(SummaryText(0, std::nullopt), "0 datagrams stored");
  EXPECT_EQ(SummaryText(1, std::nullopt), "1 datagram stored");
  EXPECT_EQ(SummaryText(10000, 12), "10000 datagrams stored, 12 dropped by the kernel");
  struct Case {
    CaptureEnd why;
    const char* message;
    bool failed;
  } cases[] = {
      {CaptureEnd::kLimitReached, "", false},
      {CaptureEnd::kSourceEnded, "", false},
      {CaptureEnd::kPoolFull, "capture ended: the 819200 bytes for datagrams are full", false},
      {CaptureEnd::kOpenFailed, "cannot capture: why", true},
      {CaptureEnd::kSourceFailed, "capture failed: why", true},
  };
  for (const Case& c : cases) {
    bool failed = !c.failed;
    EXPECT_EQ(EndMessage(c.why, "why", failed), c.message);
    EXPECT_EQ(failed, c.failed);
  }
}

struct NoRows final : RowSink {
  void add_row(std::string_view) override {}
};

std::string Contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  return text;
}

TEST(TerminalView, PrintsTheSniffLogLinesAndTheLiveCount) {
  auto store = std::make_unique<CaptureStore>();
  ResetCaptureStore(*store);
  std::FILE* out = std::tmpfile();
  std::FILE* status = std::tmpfile();
  ASSERT_TRUE(out && status);
  TerminalView view(*store, out, false, status);
  uint32_t count = 0;
  const uint8_t d[20] = {0x45};
  auto store_row = [&](const char* row) {
    ASSERT_EQ(AppendDatagram(*store, count, d, 20, 17, {}, row, view), AppendOutcome::kStored);
  };
  store_row("\t0\tudp");
  store_row("\t1\ttcp");
  EXPECT_TRUE(view.update());
  store_row("\t2\ticmp");
  EXPECT_TRUE(view.update());
  EXPECT_TRUE(view.update());  // nothing new
  EXPECT_TRUE(view.finish());
  EXPECT_EQ(view.stored(), 3u);
  EXPECT_EQ(Contents(out), "\t0\tudp\n\t1\ttcp\n\t2\ticmp\n");
  EXPECT_EQ(Contents(status),
            "\r\033[K2 datagrams stored\r\033[K\r\033[K3 datagrams stored\r\033[K");
  std::fclose(out);
  std::fclose(status);

  // Quiet: no rows; a refusal prints nothing on the rows' stream (the
  // program says on standard error what it needs).
  out = std::tmpfile();
  TerminalView quiet(*store, out, true, nullptr);
  quiet.start_refused(StartRefusal::kNotAllowed);
  EXPECT_TRUE(quiet.update());
  EXPECT_TRUE(quiet.finish());
  EXPECT_EQ(Contents(out), "");
  std::fclose(out);
}

}  // namespace
}  // namespace pw::cli
