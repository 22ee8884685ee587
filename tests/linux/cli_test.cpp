// The command line's portable parts: every accepted and refused argument
// form, the choice of the capture device, the texts, the terminal view.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/interfaces.h"
#include "cli/options.h"
#include "cli/terminal.h"
#include "engine/capture_store.h"
#include "engine/filter.h"
#include "ui/about_text.h"

namespace pw::cli {
namespace {

ParseResult Parse(std::vector<std::string_view> args) { return ParseCommandLine(args); }

// The filter side the engine builds from a field text.
FilterSide Side(std::string_view field) {
  FilterSide side{};
  ParseFilterField(field, side);
  return side;
}

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
  EXPECT_FALSE(r.options.quiet || r.options.read_file || r.options.save_file(SaveFormat::kSniffLog) ||
               r.options.save_file(SaveFormat::kPackets));
  EXPECT_EQ(r.options.expression, "");
}

TEST(CommandLine, ShortLongAttachedAndGroupedForms) {
  struct Case {
    std::vector<std::string_view> args;
  } cases[] = {
      {{"-f", "10.0.0.1:80", "-t", "*:53", "-p", "icmp,raw", "-r", "x.pcap", "-c", "25",
        "-q", "--save-log", "log.txt", "--save-packets", "bytes.bin"}},
      {{"--from=10.0.0.1:80", "--to", "*:53", "--protocols=icmp,raw", "--read", "x.pcap",
        "--count=25", "--quiet", "--save-log=log.txt", "--save-packets=bytes.bin"}},
      {{"-f10.0.0.1:80", "-t*:53", "-qpicmp,raw", "-rx.pcap", "-c25", "--save-log", "log.txt",
        "--save-packets", "bytes.bin"}},
  };
  for (const Case& c : cases) {
    const ParseResult r = ParseCommandLine(c.args);
    ASSERT_TRUE(r.ok) << r.error;
    const CliOptions& o = r.options;
    EXPECT_EQ(o.from_field, "10.0.0.1:80");
    EXPECT_EQ(o.to_field, "*:53");
    EXPECT_FALSE(o.protocols.tcp || o.protocols.udp || o.protocols.igmp);
    EXPECT_TRUE(o.protocols.icmp && o.protocols.raw);
    EXPECT_EQ(o.read_file.value_or("?"), "x.pcap");
    EXPECT_EQ(o.count, 25u);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.save_file(SaveFormat::kSniffLog).value_or("?"), "log.txt");
    EXPECT_EQ(o.save_file(SaveFormat::kPackets).value_or("?"), "bytes.bin");
    EXPECT_EQ(o.expression, "");
  }
  EXPECT_EQ(Parse({"-D"}).options.action, Action::kListInterfaces);
  EXPECT_EQ(Parse({"--version"}).options.action, Action::kVersion);
  EXPECT_EQ(Parse({"-q", "-h"}).options.action, Action::kHelp);
  EXPECT_EQ(Parse({"-c", std::to_string(kPacketLimit)}).options.count, kPacketLimit);
}

// Each accepted -f/-t form, the field text the engine gets, and the field
// text typed in the dialog that gives the same filter side.
TEST(CommandLine, AcceptedFieldFormsGiveTheDialogsFilter) {
  struct Case {
    const char* typed;
    const char* field;
    const char* dialog;
  } cases[] = {
      {"10.0.0.1:80", "10.0.0.1:80", "10.0.0.1:80"},
      {"10.0.0.1", "10.0.0.1:*", "10.0.0.1:*"},
      {"10.0.0.1:*", "10.0.0.1:*", "10.0.0.1:0"},
      {"*:53", "*:53", "*:53"},
      {"*", "*:*", "*:*"},
      {"*:*", "*:*", "*:*"},
      {"255.255.255.255:65535", "255.255.255.255:65535", "255.255.255.255:65535"},
      {"0.0.0.0:1", "0.0.0.0:1", "0.0.0.0:1"},
      {"127.0.0.1:08000", "127.0.0.1:8000", "127.0.0.1:8000"},
      // IPv6: the address as typed, in brackets, with its port or "*".
      {"::1", "[::1]:*", "::1"},
      {"::", "[::]:*", "[::]"},
      {"[::1]:8000", "[::1]:8000", "[::1]:8000"},
      {"[0:0::1]:*", "[0:0::1]:*", "[::1]"},
      {"[::ffff:10.0.0.1]:53", "[::ffff:10.0.0.1]:53", "[::ffff:10.0.0.1]:53"},
      {"2001:DB8::A", "[2001:DB8::A]:*", "2001:db8::a"},
      {"[ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255]:65535",
       "[ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255]:65535",
       "[ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255]:65535"},
  };
  for (const Case& c : cases) {
    for (const char* flag : {"-f", "-t"}) {
      const ParseResult r = Parse({flag, c.typed});
      ASSERT_TRUE(r.ok) << c.typed << ": " << r.error;
      const std::string& field = flag[1] == 'f' ? r.options.from_field : r.options.to_field;
      EXPECT_EQ(field, c.field) << c.typed;
      const FilterSide cli = Side(field);
      const FilterSide dialog = Side(c.dialog);
      EXPECT_EQ(cli.mode, dialog.mode) << c.typed;
      EXPECT_EQ(cli.port, dialog.port) << c.typed;
      EXPECT_EQ(cli.key.matchable, dialog.key.matchable) << c.typed;
      EXPECT_TRUE(cli.key.address == dialog.key.address) << c.typed;
    }
  }
}

TEST(CommandLine, RefusedFieldFormsShowTheAcceptedOnes) {
  for (const char* typed :
       {"10.77.0.2:65536", "10.77.0.2:-1", "10.77.0.2:0x1f40", "10.77.0.2:0", "10.77.0.2:+80",
        "10.77.0.2: 80", "10.77.0.2:123456", "10.77.0.2:", "10.77.0.2:80:90", "localhost:8000",
        "localhost", "127.1:8000", "0127.0.0.1:8000", " 127.0.0.1:8000", "127.0.0.1:8000 ",
        "10.0.0.*:80", "256.0.0.1", "1.2.3.4.5", "", ":80", "*:", ":", "**", "*:**"}) {
    const ParseResult r = Parse({"-t", typed});
    EXPECT_FALSE(r.ok) << '"' << typed << '"';
    EXPECT_EQ(r.error, std::string("-t/--to: \"") + typed +
                           "\" is not ADDR:PORT, ADDR or *, where ADDR is a dotted-decimal "
                           "IPv4 address such as 10.0.0.1, or *, and PORT is 1 to 65535, or *");
  }
}

TEST(CommandLine, RefusedIpv6FieldsNameTheirFault) {
  const struct {
    const char* typed;
    const char* why;
  } cases[] = {
      {"[::1]:0", ": the port of [ADDR]:PORT is not 1 to 65535 or *"},
      {"[::1]:65536", ": the port of [ADDR]:PORT is not 1 to 65535 or *"},
      {"[::1]:", ": the port of [ADDR]:PORT is not 1 to 65535 or *"},
      {"[::g]:80", ": \"::g\" is not an IPv6 address"},
      {"[10.0.0.1]:80", ": \"10.0.0.1\" is not an IPv6 address"},
      {"[::1%eth0]:80", ": \"::1%eth0\" is not an IPv6 address"},
      {"[::1:80", ": the \"[\" of [ADDR]:PORT has no \"]\""},
      {":::", ": \":::\" is in no IPv6 address; an address with a port is [ADDR]:PORT"},
      {"[:::1]:80", ": \":::\" is in no IPv6 address"},
      {"[::1]", ": after \"]\" comes :PORT (1 to 65535) or :*"},
      {"[::1]80", ": after \"]\" comes :PORT (1 to 65535) or :*"},
      {"[::1]:80x", ": the port of [ADDR]:PORT is not 1 to 65535 or *"},
      {"1:2:3:4:5:6:7:8:9", " is not an IPv6 address"},
  };
  for (const auto& c : cases) {
    const ParseResult r = Parse({"-f", c.typed});
    EXPECT_FALSE(r.ok) << c.typed;
    EXPECT_EQ(r.error, std::string("-f/--from: \"") + c.typed + "\"" + c.why);
  }
}

TEST(CommandLine, BothTrafficNeedsTwoAddressesAndNoPort) {
  for (std::vector<std::string_view> ok :
       {std::vector<std::string_view>{"-b", "-f", "10.0.0.1", "-t", "10.0.0.2"},
        {"-f", "10.0.0.1:*", "-b", "-t", "10.0.0.2:*"}, {"-bf10.0.0.1", "-t10.0.0.2"}}) {
    const ParseResult r = Parse(ok);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.options.both_traffic);
  }
  const std::string port_error =
      "-b/--both works only without ports: with a port only the direction from -f to -t is "
      "stored; drop the port or -b";
  const std::string address_error =
      "-b/--both needs an address on both sides: -f ADDR and -t ADDR";
  struct Case {
    std::vector<std::string_view> args;
    std::string error;
  } cases[] = {
      {{"-b", "-f", "10.0.0.1:80", "-t", "10.0.0.2"}, port_error},
      {{"-b", "-f", "10.0.0.1", "-t", "10.0.0.2:53"}, port_error},
      {{"-b", "-f", "10.0.0.1", "-t", "*:53"}, port_error},
      {{"-b"}, address_error},
      {{"-b", "-f", "10.0.0.1"}, address_error},
      {{"-b", "-t", "10.0.0.2"}, address_error},
      {{"-b", "-f", "*", "-t", "10.0.0.2"}, address_error},
  };
  for (const Case& c : cases) {
    const ParseResult r = Parse(c.args);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, c.error);
  }
}

TEST(CommandLine, ValuedFlagsAreGivenOnceExceptDetails) {
  struct Case {
    std::vector<std::string_view> args;
    const char* error;  // null: accepted
  } cases[] = {
      {{"-i", "lo", "-i", "eth0"}, "-i/--interface is given twice; give it once"},
      {{"-f", "*", "--from=*"}, "-f/--from is given twice; give it once"},
      {{"-t", "*", "-t", "*"}, "-t/--to is given twice; give it once"},
      {{"-p", "tcp", "-p", "udp"}, "-p/--protocols is given twice; give it once"},
      {{"-r", "a.pcap", "-r", "b.pcap"}, "-r/--read is given twice; give it once"},
      {{"-c", "5", "-c5"}, "-c/--count is given twice; give it once"},
      {{"--save-log=a", "--save-log", "b"}, "--save-log is given twice; give it once"},
      {{"--save-packets=a", "--save-packets=b"}, "--save-packets is given twice; give it once"},
      {{"--tcp-view=ascii", "--tcp-view=text"}, "--tcp-view is given twice; give it once"},
      {{"--hex=tcp", "--hex", "udp"}, "--hex is given twice; give it once"},
      {{"-w", "a.pcap", "--write=b.pcap"}, "-w/--write is given twice; give it once"},
      {{"-w-", "-w", "-"}, "-w/--write is given twice; give it once"},
      {{"-d", "1", "-d", "2"}, nullptr},
      {{"-q", "-q"}, nullptr},
      {{"-bb", "-f", "10.0.0.1", "-t", "10.0.0.2"}, nullptr},
  };
  for (const Case& c : cases) {
    const ParseResult r = Parse(c.args);
    EXPECT_EQ(r.ok, c.error == nullptr) << c.args[0];
    if (c.error != nullptr) {
      EXPECT_EQ(r.error, c.error);
    }
  }
}

TEST(CommandLine, WrongArgumentsAreRefusedWithAReason) {
  const std::string limit = std::to_string(kPacketLimit);
  const std::string over = std::to_string(kPacketLimit + 1);
  const std::string count_error = "\" is not a number from 1 to " + limit;
  struct Case {
    std::vector<std::string_view> args;
    std::string error;
  } cases[] = {
      {{"-x"}, "unknown option -x"},
      {{"-qx"}, "unknown option -x"},
      {{"--intreface", "lo"}, "unknown option --intreface"},
      {{"--inter=lo"}, "unknown option --inter"},
      {{"-i"}, "-i/--interface needs IFACE"},
      {{"-i", ""}, "-i/--interface: the interface is empty: give its name, an address that "
                   "-D lists, or any"},
      {{"--count"}, "-c/--count needs N"},
      {{"-c", "0"}, "-c/--count: \"0" + count_error},
      {{"-c", over}, "-c/--count: \"" + over + count_error},
      {{"-c", "-5"}, "-c/--count: \"-5" + count_error},
      {{"-c", "12x"}, "-c/--count: \"12x" + count_error},
      {{"--count="}, "-c/--count: \"" + count_error},
      {{"-p", "tcp,ftp"}, "-p/--protocols: \"tcp,ftp\" is not a comma list of tcp, udp, icmp, igmp, raw"},
      {{"-p", ""}, "-p/--protocols: \"\" is not a comma list of tcp, udp, icmp, igmp, raw"},
      {{"-p", "tcp,"}, "-p/--protocols: \"tcp,\" is not a comma list of tcp, udp, icmp, igmp, raw"},
      {{"-p", "TCP"}, "-p/--protocols: \"TCP\" is not a comma list of tcp, udp, icmp, igmp, raw"},
      {{"--quiet=yes"}, "-q/--quiet takes no value"},
      {{"-r", ""}, "-r/--read: the file name is empty"},
      {{"--save-log="}, "--save-log: the file name is empty"},
      {{"--save-packets", ""}, "--save-packets: the file name is empty"},
      {{"-d", "-1"}, "-d/--details: \"-1\" is not a packet number from 0 to " +
                         std::to_string(kPacketLimit - 1)},
      {{"-d", limit}, "-d/--details: \"" + limit + "\" is not a packet number from 0 to " +
                          std::to_string(kPacketLimit - 1)},
      {{"--tcp-view", "hex"}, "--tcp-view: \"hex\" is not text or ascii"},
      {{"--hex=icmp"}, "--hex: \"icmp\" is not udp or tcp"},
      {{"--save-log", "a", "--save-packets", "a"},
       "--save-log and --save-packets name the same file"},
      {{"-r", "x.pcap", "-i", "lo"},
       "-i/--interface does not go with -r/--read: a capture file has no interface"},
      {{"--time", "-q"}, "--time prefixes the printed rows, and -q prints none"},
      {{"--time", "-w", "-"}, "--time prefixes the printed rows, and -w - prints none"},
      {{"-w", ""}, "-w/--write: the file name is empty"},
      {{"-w", "a", "--save-log", "a"}, "--save-log and -w/--write name the same file"},
      {{"--save-packets=a", "-wa"}, "--save-packets and -w/--write name the same file"},
      {{"-w", "-", "-d", "0"}, "-d/--details prints on standard output, which -w - keeps for "
                               "the pcap file; write the pcap to a file"},
      {{"--time=local"}, "--time takes no value"},
  };
  for (const Case& c : cases) {
    const ParseResult r = ParseCommandLine(c.args);
    EXPECT_FALSE(r.ok) << c.error;
    EXPECT_EQ(r.error, c.error);
  }
}

// -w - puts the pcap file on standard output, which then carries no rows;
// a file named "-" elsewhere is a file of that name.
TEST(CommandLine, WriteToAFileOrToStandardOutput) {
  struct Case {
    std::vector<std::string_view> args;
    std::optional<std::string> write_file;
    bool to_standard_output;
    bool rows;
  } cases[] = {
      {{}, std::nullopt, false, true},
      {{"-w", "x.pcap"}, "x.pcap", false, true},
      {{"--write=x.pcap", "--time"}, "x.pcap", false, true},
      {{"-qwx.pcap"}, "x.pcap", false, false},
      {{"-w", "-"}, "-", true, false},
      {{"-w-", "-r", "-", "--save-log", "-"}, "-", true, false},
      {{"-w", "./-"}, "./-", false, true},
  };
  for (const Case& c : cases) {
    const ParseResult r = Parse(c.args);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.save_file(SaveFormat::kPcap), c.write_file);
    EXPECT_EQ(WritesStandardOutput(r.options), c.to_standard_output);
    EXPECT_EQ(PrintsRows(r.options), c.rows);
  }
}

TEST(CommandLine, InterfaceTextsAreKeptForTheSystemCheck) {
  for (const char* text : {"lo", "eth0", "any", "10.0.0.1", "foo", "999.1.1.1"}) {
    const ParseResult r = Parse({"-i", text});
    ASSERT_TRUE(r.ok) << text;
    EXPECT_EQ(r.options.interface_text.value_or("?"), text);
  }
}

TEST(CommandLine, WordsThatAreNoFlagsFormTheExpression) {
  struct Case {
    std::vector<std::string_view> args;
    const char* expression;
    uint32_t count;
  } cases[] = {
      {{"udp", "and", "port", "53"}, "udp and port 53", 0},
      {{"-c", "3", "udp and port 53"}, "udp and port 53", 3},
      {{"udp", "-c", "3", "and", "port", "53"}, "udp and port 53", 3},
      {{"-c3", "--", "-c", "5"}, "-c 5", 3},
      {{"host", "10.0.0.1", "-"}, "host 10.0.0.1 -", 0},
      {{"", " "}, "", 0},
  };
  for (const Case& c : cases) {
    const ParseResult r = Parse(c.args);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.expression, c.expression);
    EXPECT_EQ(r.options.count, c.count);
  }
}

TEST(CommandLine, DetailsAndReportViews) {
  ParseResult r = Parse({});
  EXPECT_TRUE(r.options.details.empty());
  EXPECT_TRUE(r.options.views.tcp_text);  // as a first run of the dialog
  EXPECT_FALSE(r.options.views.tcp_ascii || r.options.views.tcp_hex);

  const std::string last = "--details=" + std::to_string(kPacketLimit - 1);
  r = Parse({"-d", "3", "-d0", last, "--tcp-view", "ascii", "--hex=tcp"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.details, (std::vector<uint32_t>{3, 0, kPacketLimit - 1}));
  EXPECT_TRUE(r.options.views.tcp_ascii);
  EXPECT_FALSE(r.options.views.tcp_text);
  EXPECT_TRUE(r.options.views.tcp_hex);
  for (std::string_view bad : {"", "x", "1e3"}) EXPECT_FALSE(Parse({"-d", bad}).ok) << bad;
}

std::vector<NetworkInterface> SomeInterfaces() {
  std::vector<NetworkInterface> list = {
      {"dummy0", 5, false, {}},
      {"lo", 1, true, {"127.0.0.1"}, {"::1"}},
      {"veth1", 4, false, {"10.99.0.1", "10.99.1.1"}},
      {"eth0", 2, false, {"192.0.2.2"}, {"2001:db8::2", "fe80::1"}},
      {"v6only", 6, false, {}, {"2001:db8::6"}},
  };
  SortByDefaultChoice(list);
  return list;
}

TEST(Interfaces, ListedInTheOrderOfTheDefaultChoice) {
  EXPECT_EQ(InterfaceListText(SomeInterfaces()),
            "eth0 192.0.2.2 2001:db8::2 fe80::1\n"
            "veth1 10.99.0.1 10.99.1.1\n"
            "lo 127.0.0.1 ::1\n"
            "dummy0 (no IPv4 address)\n"
            "v6only (no IPv4 address) 2001:db8::6\n");
}

TEST(Interfaces, TheDeviceIsChosenByNameAddressOrAny) {
  const std::vector<NetworkInterface> list = SomeInterfaces();
  struct Case {
    std::optional<std::string> text;
    std::optional<std::string> device;
  } cases[] = {
      {std::nullopt, "eth0"},  // the first address -D lists
      {"any", "any"},
      {"lo", "lo"},
      {"dummy0", "dummy0"},
      {"127.0.0.1", "lo"},
      {"10.99.0.1", "veth1"},
      {"10.99.1.1", "veth1"},  // a secondary address
      {"192.0.2.2", "eth0"},
      {"::1", "lo"},
      {"fe80::1", "eth0"},
      {"2001:db8::6", "v6only"},
      {"2001:db8::7", std::nullopt},
      {"foo", std::nullopt},
      {"999.1.1.1", std::nullopt},
      {"10.99.2.1", std::nullopt},
      {"127.0.0.2", std::nullopt},
      {"ANY", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseCaptureDevice(c.text, list), c.device) << c.text.value_or("(none)");
  }
  // Without -i and without any address there is nothing to choose.
  EXPECT_EQ(ChooseCaptureDevice(std::nullopt, {{"dummy0", 5, false, {}}}), std::nullopt);
  EXPECT_EQ(ChooseCaptureDevice(std::nullopt, {}), std::nullopt);
  EXPECT_EQ(ChooseCaptureDevice(std::nullopt, {{"lo", 1, true, {"127.0.0.1"}}}), "lo");
}

TEST(CommandLine, HelpListsTheFormsTheExpressionAndTheExitStatuses) {
  const std::string help = HelpText();
  for (const std::string& flag : std::vector<std::string>{
           "-i, --interface IFACE", "-f, --from ADDR:PORT", "-t, --to ADDR:PORT", "-b, --both",
        "-p, --protocols LIST", "-r, --read FILE", "-c, --count N", "-q, --quiet",
        "--time", "--save-log FILE", "--save-packets FILE", "-w, --write FILE", "-d, --details N", "--tcp-view text|ascii",
        "--hex udp|tcp", "-D, --list-interfaces", "-V, --version", "-h, --help",
        "[EXPRESSION]", "EXPRESSION is a capture filter", "Exit status: 0", "1 when",
        "2 for wrong arguments", "1 to " + std::to_string(kPacketLimit),
        "0 to " + std::to_string(kPacketLimit - 1), std::to_string(kBytePoolSize) + " bytes",
        "ADDR:PORT, ADDR (any port) or *", "or any for every interface"}) {
    EXPECT_NE(help.find(flag), std::string::npos) << flag;
  }
  EXPECT_EQ(help.find('{'), std::string::npos);
  size_t start = 0;
  while (start < help.size()) {
    const size_t end = help.find('\n', start);
    EXPECT_LE(end - start, 79u) << help.substr(start, end - start);
    start = end + 1;
  }
  EXPECT_EQ(VersionText(), "pebblewire " + std::string(ProgramVersion()) + "\n");
  EXPECT_NE(ProgramVersion(), "0.0.0");  // the build's version is passed in
}

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
