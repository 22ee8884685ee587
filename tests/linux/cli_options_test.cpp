// The command line's options: every accepted and refused argument form, the
// field texts the engine gets, the help and version texts.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
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
  EXPECT_FALSE(r.options.quiet || r.options.read_file || r.options.save_log ||
               r.options.save_packets);
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
    EXPECT_EQ(o.save_log.value_or("?"), "log.txt");
    EXPECT_EQ(o.save_packets.value_or("?"), "bytes.bin");
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
      EXPECT_STREQ(cli.address, dialog.address) << c.typed;
      EXPECT_EQ(cli.key.matchable, dialog.key.matchable) << c.typed;
    }
  }
}

TEST(CommandLine, RefusedFieldFormsShowTheAcceptedOnes) {
  for (const char* typed :
       {"10.77.0.2:65536", "10.77.0.2:-1", "10.77.0.2:0x1f40", "10.77.0.2:0", "10.77.0.2:+80",
        "10.77.0.2: 80", "10.77.0.2:123456", "10.77.0.2:", "10.77.0.2:80:90", "localhost:8000",
        "localhost", "127.1:8000", "0127.0.0.1:8000", " 127.0.0.1:8000", "127.0.0.1:8000 ",
        "10.0.0.*:80", "256.0.0.1", "1.2.3.4.5", "", ":80", "*:", ":", "::", "**", "*:**"}) {
    const ParseResult r = Parse({"-t", typed});
    EXPECT_FALSE(r.ok) << '"' << typed << '"';
    EXPECT_EQ(r.error, std::string("-t/--to: \"") + typed +
                           "\" is not ADDR:PORT, ADDR or *, where ADDR is a dotted-decimal "
                           "IPv4 address such as 10.0.0.1, or *, and PORT is 1 to 65535, or *");
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
    EXPECT_EQ(r.options.write_file, c.write_file);
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

}  // namespace
}  // namespace pw::cli
