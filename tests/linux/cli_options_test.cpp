// The command line's options: every accepted and refused argument form, the
// field texts the engine gets, the help and version texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/options.h"
#include "engine/capture_store.h"
#include "engine/filter.h"
#include "ui/about_text.h"

namespace pw::cli {
namespace {

ParseResult Parse(std::vector<std::string_view> args) { return ParseCommandLine(args); }
ParseResult ParseWords(const std::vector<std::string>& args) {
  return Parse(std::vector<std::string_view>(args.begin(), args.end()));
}

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

// Forms of one flag count as the same flag.
TEST(CommandLine, AFlagGivenTwiceInOtherFormsIsStillTheSameFlag) {
  struct Case {
    std::vector<std::string_view> args;
    const char* error;  // null: accepted
  } cases[] = {
      {{"-c", "5", "-c5"}, "-c/--count is given twice; give it once"},
      {{"-w-", "-w", "-"}, "-w/--write is given twice; give it once"},
      {{"--hex=tcp", "--hex", "udp"}, "--hex is given twice; give it once"},
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
      {{"-qx"}, "unknown option -x"},
      {{"--intreface", "lo"}, "unknown option --intreface"},
      {{"--inter=lo"}, "unknown option --inter"},
      {{"-i", ""}, "-i/--interface: the interface is empty: give its name, an address that "
                   "-D lists, or any"},
      {{"-c", "0"}, "-c/--count: \"0" + count_error},
      {{"-c", over}, "-c/--count: \"" + over + count_error},
      {{"-c", "-5"}, "-c/--count: \"-5" + count_error},
      {{"-c", "12x"}, "-c/--count: \"12x" + count_error},
      {{"--count="}, "-c/--count: \"" + count_error},
      {{"-p", "tcp,ftp"}, "-p/--protocols: \"tcp,ftp\" is not a comma list of tcp, udp, icmp, igmp, raw"},
      {{"-p", ""}, "-p/--protocols: \"\" is not a comma list of tcp, udp, icmp, igmp, raw"},
      {{"-p", "tcp,"}, "-p/--protocols: \"tcp,\" is not a comma list of tcp, udp, icmp, igmp, raw"},
      {{"-p", "TCP"}, "-p/--protocols: \"TCP\" is not a comma list of tcp, udp, icmp, igmp, raw"},
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

// A flag as the help lists it: "  -c, --count N", its help beside it in a
// column of its own and on the lines below.
struct HelpFlag {
  char short_name = 0;  // 0: long form only
  std::string long_name;
  std::string value;  // empty: the flag takes no value
  std::string help;   // its help lines, joined by blanks
};

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::istringstream in{std::string(text)};
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// The flags that HelpText() lists, read back from the text alone.
std::vector<HelpFlag> HelpFlags() {
  std::vector<std::string> lines;
  std::istringstream in(HelpText());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  // The help column: where the indented lines below a flag's line begin.
  size_t column = std::string::npos;
  for (const std::string& line : lines) {
    if (line.rfind("        ", 0) == 0) column = std::min(column, line.find_first_not_of(' '));
  }
  std::vector<HelpFlag> flags;
  for (const std::string& line : lines) {
    const bool flag_line = line.rfind("  -", 0) == 0 || line.rfind("      --", 0) == 0;
    if (!flag_line) {
      if (!flags.empty() && line.size() > column && line.rfind(std::string(column, ' '), 0) == 0) {
        flags.back().help += " " + line.substr(column);
      } else if (!flags.empty() && line.empty()) {
        break;  // the end of the flags
      }
      continue;
    }
    // The head runs up to the column, or fills the line when it is too wide.
    const bool wide = line.size() > column && line[column - 1] != ' ';
    const std::string head = wide ? line : line.substr(0, column);
    HelpFlag flag;
    for (const std::string& word : Words(head)) {
      if (word.size() == 3 && word[0] == '-' && word[2] == ',') {
        flag.short_name = word[1];
      } else if (word.rfind("--", 0) == 0) {
        flag.long_name = word.substr(2);
      } else {
        flag.value = word;
      }
    }
    if (!wide && line.size() > column) flag.help = line.substr(column);
    flags.push_back(flag);
  }
  return flags;
}

std::string NameInErrors(const HelpFlag& f) {
  return (f.short_name != 0 ? std::string("-") + f.short_name + "/" : "") + "--" + f.long_name;
}

// A value the flag takes, for each kind of value the help names; the first
// of alternatives ("text|ascii").
std::optional<std::string> SampleValue(const std::string& value) {
  const std::pair<std::string_view, std::string_view> samples[] = {
      {"IFACE", "lo"}, {"ADDR:PORT", "10.0.0.1"}, {"LIST", "udp"}, {"FILE", "a.pcap"}, {"N", "1"},
      {"SIZE", "1"}};
  for (const auto& [name, sample] : samples) {
    if (value == name) return std::string(sample);
  }
  if (value.find('|') != std::string::npos) return value.substr(0, value.find('|'));
  return std::nullopt;
}

// The parser and its help agree: every flag the help lists is taken in its
// short and long form, with the value the help names or none, once unless
// the help says otherwise; no other short flag and no abbreviation is.
TEST(CommandLine, TheParserTakesExactlyTheFlagsOfTheHelp) {
  const std::vector<HelpFlag> flags = HelpFlags();
  const auto listed = [&](std::string_view long_name) {
    return std::any_of(flags.begin(), flags.end(),
                       [&](const HelpFlag& f) { return f.long_name == long_name; });
  };
  ASSERT_TRUE(listed("help") && listed("interface") && listed("time")) << HelpText();
  for (const HelpFlag& f : flags) {
    SCOPED_TRACE(NameInErrors(f));
    ASSERT_FALSE(f.long_name.empty());
    EXPECT_FALSE(f.help.empty());
    const std::string long_form = "--" + f.long_name;
    std::vector<std::string> forms = {long_form};
    if (f.short_name != 0) forms.push_back(std::string("-") + f.short_name);
    for (const std::string& form : forms) {
      const ParseResult alone = Parse({form});
      if (f.value.empty()) {
        EXPECT_EQ(alone.error.rfind("unknown option", 0), std::string::npos) << alone.error;
        EXPECT_EQ(Parse({form, form}).error.find("given twice"), std::string::npos);
      } else {
        EXPECT_EQ(alone.error, NameInErrors(f) + " needs " + f.value);
      }
    }
    if (f.value.empty()) {
      EXPECT_EQ(Parse({long_form + "=x"}).error, NameInErrors(f) + " takes no value");
      continue;
    }
    // Each of alternatives is taken, in every form.
    if (f.value.find('|') != std::string::npos) {
      std::string alternatives = f.value;
      std::replace(alternatives.begin(), alternatives.end(), '|', ' ');
      for (const std::string& a : Words(alternatives)) {
        EXPECT_TRUE(Parse({long_form + "=" + a}).ok) << a;
        EXPECT_TRUE(Parse({long_form, a}).ok) << a;
      }
    }
    const std::optional<std::string> sample = SampleValue(f.value);
    if (!sample) {
      ADD_FAILURE() << "no sample of " << f.value;
      continue;
    }
    // A flag that works "with -w" or "with -C" (as its help begins) is
    // given with them.
    std::vector<std::string> with;
    if (f.help.rfind("with -w", 0) == 0) with = {"-w", "x.pcap"};
    if (f.help.rfind("with -C", 0) == 0) with = {"-w", "x.pcap", "-C", "1"};
    std::vector<std::string> once = with;
    once.insert(once.end(), {forms.back(), *sample});
    ASSERT_TRUE(ParseWords(once).ok) << ParseWords(once).error;
    std::vector<std::string> given_twice = once;
    given_twice.push_back(long_form + "=" + *sample);
    const ParseResult twice = ParseWords(given_twice);
    if (f.help.find("may be given several times") != std::string::npos) {
      EXPECT_TRUE(twice.ok) << twice.error;
    } else {
      EXPECT_EQ(twice.error, NameInErrors(f) + " is given twice; give it once");
    }
  }
  for (char c = '!'; c <= '~'; ++c) {
    if (c == '-') continue;
    const bool in_help = std::any_of(flags.begin(), flags.end(),
                                     [&](const HelpFlag& f) { return f.short_name == c; });
    EXPECT_EQ(Parse({std::string("-") + c}).error == std::string("unknown option -") + c, !in_help)
        << c;
  }
  // Long names are taken whole: no abbreviation, no other case.
  for (const HelpFlag& f : flags) {
    for (size_t n = 1; n < f.long_name.size(); ++n) {
      const std::string prefix = f.long_name.substr(0, n);
      if (listed(prefix)) continue;
      EXPECT_EQ(Parse({"--" + prefix}).error, "unknown option --" + prefix);
    }
    std::string upper = f.long_name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(Parse({"--" + upper}).error, "unknown option --" + upper);
  }
}

TEST(CommandLine, HelpShowsTheLimitsTheExpressionAndTheExitStatuses) {
  const std::string help = HelpText();
  for (const std::string& text : std::vector<std::string>{
           "[EXPRESSION]", "EXPRESSION is a capture filter", "Exit status: 0", "1 when",
           "2 for wrong arguments", "1 to " + std::to_string(kPacketLimit),
           "0 to " + std::to_string(kPacketLimit - 1), std::to_string(kBytePoolSize) + " bytes",
           "ADDR:PORT, ADDR (any port) or *", "or any for every interface"}) {
    EXPECT_NE(help.find(text), std::string::npos) << text;
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
