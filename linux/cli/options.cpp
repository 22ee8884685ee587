#include "cli/options.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

#include "engine/capture_store.h"
#include "text/decimal.h"
#include "ui/about_text.h"

namespace pw::cli {

namespace {

// Takes a flag's value into the options; false and `reason` when the value
// is not one of the accepted forms.
using ApplyFlag = bool (*)(std::string_view value, CliOptions& o, std::string& reason);

struct FlagSpec {
  char short_name;  // 0: long form only
  std::string_view long_name;
  std::string_view value_name;  // empty: the flag takes no value
  bool once;                    // a second use is refused
  // The help text's lines; "{limit}", "{last}" and "{pool}" stand for the
  // packet limit, the last packet index and the byte pool's size.
  std::string_view help;
  ApplyFlag apply;
};

constexpr std::string_view kFieldForms =
    "ADDR:PORT, ADDR or *, where ADDR is a dotted-decimal IPv4 address such as "
    "10.0.0.1, or *, and PORT is 1 to 65535, or *";

std::string Quoted(std::string_view value) { return "\"" + std::string(value) + "\""; }

// A decimal number from `low` to `high`: digits only, at most as many as
// `high` has (five for the ports, counts and packet numbers of a session).
bool ParseNumber(std::string_view text, uint32_t low, uint32_t high, uint32_t& number) {
  const size_t most = std::max<size_t>(std::to_string(high).size(), 5);
  const DecimalDigits digits = ReadDecimalDigits(text);
  if (digits.count == 0 || digits.count != text.size() || digits.count > most) return false;
  if (digits.value < low || digits.value > high) return false;
  number = static_cast<uint32_t>(digits.value);
  return true;
}

// "*", or a port number 1 to 65535 in its shortest decimal form.
bool ParseStrictPort(std::string_view text, std::string& port) {
  uint32_t number = 0;
  if (text == "*") {
    port = "*";
  } else if (ParseNumber(text, 1, 65535, number)) {
    port = std::to_string(number);
  } else {
    return false;
  }
  return true;
}

bool IsStrictAddress(std::string_view text) {
  uint32_t address = 0;
  return text == "*" || ParseDottedQuad(text, address);
}

// The protocol names -p takes, "tcp, udp, icmp, igmp, raw".
std::string ProtocolNames() {
  std::string names;
  for (const StoredProtocol& p : kStoredProtocols) {
    names += names.empty() ? "" : ", ";
    names += p.name;
  }
  return names;
}

bool ApplyInterface(std::string_view value, CliOptions& o, std::string& reason) {
  if (value.empty()) {
    reason = "the interface is empty: give its name, an address that -D lists, or any";
    return false;
  }
  o.interface_text = std::string(value);
  return true;
}

bool ApplyField(std::string_view value, std::string& field, std::string& reason) {
  if (ParseStrictField(value, field)) return true;
  reason = Quoted(value) + " is not " + std::string(kFieldForms);
  return false;
}

bool ApplyFrom(std::string_view value, CliOptions& o, std::string& reason) {
  return ApplyField(value, o.from_field, reason);
}

bool ApplyTo(std::string_view value, CliOptions& o, std::string& reason) {
  return ApplyField(value, o.to_field, reason);
}

bool ApplyBoth(std::string_view, CliOptions& o, std::string&) {
  o.both_traffic = true;
  return true;
}

bool ApplyProtocols(std::string_view value, CliOptions& o, std::string& reason) {
  if (ParseProtocolList(value, o.protocols)) return true;
  reason = Quoted(value) + " is not a comma list of " + ProtocolNames();
  return false;
}

bool ApplyFileName(std::string_view value, std::optional<std::string>& file,
                   std::string& reason) {
  if (value.empty()) {
    reason = "the file name is empty";
    return false;
  }
  file = std::string(value);
  return true;
}

bool ApplyRead(std::string_view value, CliOptions& o, std::string& reason) {
  return ApplyFileName(value, o.read_file, reason);
}

template <SaveFormat format>
bool ApplySave(std::string_view value, CliOptions& o, std::string& reason) {
  return ApplyFileName(value, o.saves[static_cast<size_t>(format)], reason);
}

// The flag of a save format, as its row in kSaveFormats gives it.
template <SaveFormat format>
constexpr FlagSpec SaveFlag() {
  const SaveFormatEntry& entry = SaveFormatOf(format);
  return {entry.short_flag, entry.long_flag, "FILE", true, entry.help, ApplySave<format>};
}

bool ApplyTime(std::string_view, CliOptions& o, std::string&) {
  o.row_times = true;
  return true;
}

std::string CountRange(std::string_view value) {
  return Quoted(value) + " is not a number from 1 to " + std::to_string(kPacketLimit);
}

// Up to kStreamCountMax; CheckCombination holds a count without -w to the
// packet limit.
bool ApplyCount(std::string_view value, CliOptions& o, std::string& reason) {
  if (ParseNumber(value, 1, kStreamCountMax, o.count)) return true;
  reason = CountRange(value);
  const DecimalDigits digits = ReadDecimalDigits(value);
  if (digits.count == value.size() && digits.value > kPacketLimit) {
    reason += " (to " + std::to_string(kStreamCountMax) + " with -w)";
  }
  return false;
}

bool ApplyWrite(std::string_view value, CliOptions& o, std::string& reason) {
  return ApplyFileName(value, o.write_file, reason);
}

bool ApplyFileSize(std::string_view value, CliOptions& o, std::string& reason) {
  if (ParseNumber(value, 1, kFileSizeMax, o.file_size)) return true;
  reason = Quoted(value) + " is not a number of millions of bytes from 1 to " +
           std::to_string(kFileSizeMax);
  return false;
}

bool ApplyRing(std::string_view value, CliOptions& o, std::string& reason) {
  if (ParseNumber(value, 1, kRingFilesMax, o.ring_files)) return true;
  reason = Quoted(value) + " is not a number of files from 1 to " + std::to_string(kRingFilesMax);
  return false;
}

bool ApplyQuiet(std::string_view, CliOptions& o, std::string&) {
  o.quiet = true;
  return true;
}

// Packet indexes run from 0 to one below the packet limit.
bool ApplyDetails(std::string_view value, CliOptions& o, std::string& reason) {
  uint32_t index = 0;
  if (!ParseNumber(value, 0, kPacketLimit - 1, index)) {
    reason = Quoted(value) + " is not a packet number from 0 to " +
             std::to_string(kPacketLimit - 1);
    return false;
  }
  o.details.push_back(index);
  return true;
}

bool ApplyTcpView(std::string_view value, CliOptions& o, std::string& reason) {
  if (value != "text" && value != "ascii") {
    reason = Quoted(value) + " is not text or ascii";
    return false;
  }
  o.views.tcp_text = value == "text";
  o.views.tcp_ascii = value == "ascii";
  return true;
}

bool ApplyHex(std::string_view value, CliOptions& o, std::string& reason) {
  if (value != "udp" && value != "tcp") {
    reason = Quoted(value) + " is not udp or tcp";
    return false;
  }
  o.views.tcp_hex = value == "tcp";
  return true;
}

bool ApplyListInterfaces(std::string_view, CliOptions& o, std::string&) {
  o.action = Action::kListInterfaces;
  return true;
}

bool ApplyVersion(std::string_view, CliOptions& o, std::string&) {
  o.action = Action::kVersion;
  return true;
}

bool ApplyHelp(std::string_view, CliOptions& o, std::string&) {
  o.action = Action::kHelp;
  return true;
}

// One table drives the parser and the help text.
constexpr FlagSpec kFlags[] = {
    {'i', "interface", "IFACE", true,
     "capture on IFACE: an interface name (lo, eth0),\n"
     "an IPv4 address that -D lists (secondary ones\n"
     "too), or any for every interface; default: the\n"
     "first address -D lists",
     ApplyInterface},
    {'f', "from", "ADDR:PORT", true,
     "store only datagrams from this address and port:\n"
     "ADDR:PORT, ADDR (any port) or * (any; default);\n"
     "ADDR is dotted decimal (10.0.0.1) or *, PORT 1 to\n"
     "65535 or *",
     ApplyFrom},
    {'t', "to", "ADDR:PORT", true,
     "store only datagrams to this address and port,\n"
     "in the forms of -f (default *)",
     ApplyTo},
    {'b', "both", "", false,
     "with an address and no port on both sides, also\n"
     "store the datagrams from -t to -f",
     ApplyBoth},
    {'p', "protocols", "LIST", true,
     "comma list of tcp,udp,icmp,igmp,raw to store\n"
     "(default tcp,udp)",
     ApplyProtocols},
    {'r', "read", "FILE", true,
     "read a capture file (pcap or pcapng; - for\n"
     "standard input) instead of the network",
     ApplyRead},
    {'c', "count", "N", true,
     "stop after N stored datagrams, 1 to {limit} (every\n"
     "capture stops at {limit}, or when the {pool} bytes\n"
     "for datagrams are full); with -w, after N written\n"
     "datagrams, 1 to {countmax}",
     ApplyCount},
    {'q', "quiet", "", false, "print no rows", ApplyQuiet},
    {0, "time", "", false,
     "print each row after the time its datagram was\n"
     "captured, local time to the microsecond\n"
     "(HH:MM:SS.uuuuuu), in the row's empty first\n"
     "field; the saved sniff log is as without it",
     ApplyTime},
    SaveFlag<SaveFormat::kSniffLog>(),
    SaveFlag<SaveFormat::kPackets>(),
    {'w', "write", "FILE", true,
     "write every stored datagram to FILE as it is\n"
     "captured, as a pcap file that other tools open\n"
     "(each with its capture time in nanoseconds),\n"
     "replacing an older file; the capture then runs\n"
     "past the store's limits until Ctrl-C, -c or the\n"
     "end of the file read, and the store keeps its\n"
     "first datagrams; - writes to standard output,\n"
     "which then carries no rows (-d and --time are\n"
     "refused with it)",
     ApplyWrite},
    {'C', "file-size", "SIZE", true,
     "with -w: begin a new file before a datagram\n"
     "would take the current one past SIZE millions of\n"
     "bytes: FILE, FILE1, FILE2, ...",
     ApplyFileSize},
    {'W', "file-count", "N", true,
     "with -C: a ring of N files, FILE0 to FILE(N-1),\n"
     "each new one replacing the oldest",
     ApplyRing},
    {'d', "details", "N", false,
     "at the end, print the details report of packet N\n"
     "(0 to {last}; 0 is the first row), one entry per\n"
     "line; may be given several times",
     ApplyDetails},
    {0, "tcp-view", "text|ascii", true,
     "show a tcp payload in the report as text up to\n"
     "its first zero byte (default), or as ASCII, 64\n"
     "bytes a line",
     ApplyTcpView},
    {0, "hex", "udp|tcp", true,
     "hex view of the payload in the report for udp\n"
     "only (default), or for tcp and udp",
     ApplyHex},
    {'D', "list-interfaces", "", false,
     "print each interface with its IPv4 addresses,\n"
     "in the order they are chosen by default, and exit",
     ApplyListInterfaces},
    {'V', "version", "", false, "print the version and exit", ApplyVersion},
    {'h', "help", "", false, "print this help and exit", ApplyHelp},
};

std::string FlagName(const FlagSpec& entry) {
  if (entry.short_name != 0) {
    return std::string("-") + entry.short_name + "/--" + std::string(entry.long_name);
  }
  return "--" + std::string(entry.long_name);
}

const FlagSpec* FindLong(std::string_view name) {
  for (const FlagSpec& f : kFlags) {
    if (f.long_name == name) return &f;
  }
  return nullptr;
}

const FlagSpec* FindShort(char name) {
  for (const FlagSpec& f : kFlags) {
    if (f.short_name != 0 && f.short_name == name) return &f;
  }
  return nullptr;
}

// "--save-log", "-w/--write".
std::string SaveFlagName(const SaveFormatEntry& entry) { return FlagName(*FindLong(entry.long_flag)); }

bool HasPort(std::string_view field) { return field.substr(field.find(':') + 1) != "*"; }

bool HasAddress(std::string_view field) { return field.substr(0, field.find(':')) != "*"; }

// "A and B" for two flags that name the same file to write (a save
// format's, or -w's); empty when none do. -w - names no file.
std::string SameSaveFile(const CliOptions& o) {
  std::vector<std::pair<std::string, std::string>> files;  // flag, file
  for (const SaveFormatEntry& entry : kSaveFormats) {
    if (!entry.long_flag.empty() && o.save_file(entry.format)) {
      files.emplace_back(SaveFlagName(entry), *o.save_file(entry.format));
    }
  }
  if (o.write_file && !WritesStandardOutput(o)) {
    files.emplace_back(FlagName(*FindLong("write")), *o.write_file);
  }
  for (size_t i = 0; i < files.size(); ++i) {
    for (size_t j = i + 1; j < files.size(); ++j) {
      if (files[i].second == files[j].second) return files[i].first + " and " + files[j].first;
    }
  }
  return {};
}

// What single flags cannot see: flags that do not go together.
bool CheckCombination(const CliOptions& o, std::string& error) {
  if (o.both_traffic && (HasPort(o.from_field) || HasPort(o.to_field))) {
    error = "-b/--both works only without ports: with a port only the direction "
            "from -f to -t is stored; drop the port or -b";
  } else if (o.both_traffic && !(HasAddress(o.from_field) && HasAddress(o.to_field))) {
    error = "-b/--both needs an address on both sides: -f ADDR and -t ADDR";
  } else if (o.count > kPacketLimit && !o.write_file) {
    error = "-c/--count: " + CountRange(std::to_string(o.count));
  } else if ((o.file_size != 0 || o.ring_files != 0) && !o.write_file) {
    error = std::string(o.file_size != 0 ? "-C/--file-size" : "-W/--file-count") +
            " needs -w/--write: the files it makes are -w's";
  } else if (o.file_size != 0 && WritesStandardOutput(o)) {
    error = "-C/--file-size does not go with -w -: standard output is one stream";
  } else if (o.ring_files != 0 && o.file_size == 0) {
    error = "-W/--file-count needs -C/--file-size: the ring's files are made by size";
  } else if (o.read_file && o.interface_text) {
    error = "-i/--interface does not go with -r/--read: a capture file has no interface";
  } else if (const std::string pair = SameSaveFile(o); !pair.empty()) {
    error = pair + " name the same file";
  } else if (WritesStandardOutput(o) && !o.details.empty()) {
    error = "-d/--details prints on standard output, which -w - keeps for the pcap file; "
            "write the pcap to a file";
  } else if (o.row_times && !PrintsRows(o)) {
    error = std::string("--time prefixes the printed rows, and ") +
            (o.quiet ? "-q" : "-w -") + " prints none";
  }
  return error.empty();
}

std::string JoinWords(const std::vector<std::string_view>& words) {
  std::string text;
  for (const std::string_view word : words) {
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text.find_first_not_of(" \t\n") == std::string::npos ? std::string() : text;
}

// One pass over the arguments: flags with their values, and the words of
// the expression wherever they stand.
class Parser {
 public:
  explicit Parser(const std::vector<std::string_view>& args) : args_(args) {}
  ParseResult run();

 private:
  bool take(std::string_view arg);
  bool take_long(std::string_view body);
  bool take_short(std::string_view group);
  bool next_value(const FlagSpec& flag, std::string_view& value);
  bool apply(const FlagSpec& flag, std::string_view value);
  bool fail(std::string error);

  const std::vector<std::string_view>& args_;
  size_t next_ = 0;
  bool flags_ended_ = false;  // after "--"
  std::array<bool, std::size(kFlags)> seen_{};
  std::vector<std::string_view> words_;
  ParseResult result_;
};

ParseResult Parser::run() {
  while (next_ < args_.size()) {
    if (!take(args_[next_++])) return result_;
  }
  result_.options.expression = JoinWords(words_);
  result_.ok = CheckCombination(result_.options, result_.error);
  return result_;
}

bool Parser::take(std::string_view arg) {
  if (flags_ended_ || arg.size() < 2 || arg[0] != '-') {
    words_.push_back(arg);
    return true;
  }
  if (arg == "--") {
    flags_ended_ = true;
    return true;
  }
  return arg[1] == '-' ? take_long(arg.substr(2)) : take_short(arg.substr(1));
}

bool Parser::take_long(std::string_view body) {
  const size_t eq = body.find('=');
  const std::string_view name = body.substr(0, eq);
  const FlagSpec* flag = FindLong(name);
  if (flag == nullptr) return fail("unknown option --" + std::string(name));
  std::string_view value;
  if (eq != std::string_view::npos) {
    if (flag->value_name.empty()) return fail(FlagName(*flag) + " takes no value");
    value = body.substr(eq + 1);
  } else if (!flag->value_name.empty() && !next_value(*flag, value)) {
    return false;
  }
  return apply(*flag, value);
}

bool Parser::take_short(std::string_view group) {
  for (size_t j = 0; j < group.size(); ++j) {
    const FlagSpec* flag = FindShort(group[j]);
    if (flag == nullptr) return fail(std::string("unknown option -") + group[j]);
    if (flag->value_name.empty()) {
      if (!apply(*flag, {})) return false;
      continue;
    }
    // The rest of the group is the value, or else the next argument.
    std::string_view value = group.substr(j + 1);
    if (value.empty() && !next_value(*flag, value)) return false;
    return apply(*flag, value);
  }
  return true;
}

bool Parser::next_value(const FlagSpec& flag, std::string_view& value) {
  if (next_ >= args_.size()) return fail(FlagName(flag) + " needs " + std::string(flag.value_name));
  value = args_[next_++];
  return true;
}

bool Parser::apply(const FlagSpec& flag, std::string_view value) {
  const size_t index = static_cast<size_t>(&flag - kFlags);
  if (flag.once && seen_[index]) {
    return fail(FlagName(flag) + " is given twice; give it once");
  }
  seen_[index] = true;
  std::string reason;
  if (!flag.apply(value, result_.options, reason)) return fail(FlagName(flag) + ": " + reason);
  return true;
}

bool Parser::fail(std::string error) {
  result_.error = std::move(error);
  return false;
}

// A help text with the limits put in.
std::string WithLimits(std::string_view text) {
  const std::pair<std::string_view, std::string> limits[] = {
      {"{limit}", std::to_string(kPacketLimit)},
      {"{last}", std::to_string(kPacketLimit - 1)},
      {"{pool}", std::to_string(kBytePoolSize)},
      {"{countmax}", std::to_string(kStreamCountMax)},
  };
  std::string out(text);
  for (const auto& [name, value] : limits) {
    for (size_t at; (at = out.find(name)) != std::string::npos;) out.replace(at, name.size(), value);
  }
  return out;
}

// "  -c, --count N" and its help, the help's lines in a column of their own.
std::string FlagHelp(const FlagSpec& f) {
  constexpr size_t kColumn = 28;
  std::string head = "  ";
  head += f.short_name != 0 ? std::string("-") + f.short_name + ", " : "    ";
  head += "--" + std::string(f.long_name);
  if (!f.value_name.empty()) head += " " + std::string(f.value_name);
  head += head.size() < kColumn ? std::string(kColumn - head.size(), ' ')
                                : "\n" + std::string(kColumn, ' ');
  std::string text;
  const std::string help = WithLimits(f.help);
  for (size_t start = 0; start < help.size();) {
    const size_t nl = std::min(help.find('\n', start), help.size());
    text += (start == 0 ? head : std::string(kColumn, ' ')) + help.substr(start, nl - start) + "\n";
    start = nl + 1;
  }
  return text;
}

constexpr std::string_view kHelpHead =
    "Usage: pebblewire [OPTION]... [EXPRESSION]\n"
    "Capture IPv4 datagrams on one interface (or read them from a capture\n"
    "file) and print one row per stored datagram: number, protocol, source\n"
    "address and port, destination address and port, total length, ttl,\n"
    "each after a tab. Ctrl-C stops the capture.\n"
    "\n";

constexpr std::string_view kHelpTail =
    "\n"
    "EXPRESSION is a capture filter in the capture library's syntax (see\n"
    "pcap-filter(7)), such as: udp and port 53; host 10.0.0.1; icmp. Only\n"
    "IPv4 is taken, as if \"and ip\" followed it. A live capture applies it in\n"
    "the kernel, -r to each record of the file; the -f, -t and -p rules\n"
    "come after it (so icmp needs -p icmp too).\n"
    "\n"
    "Examples:\n"
    "  pebblewire -i lo -t 127.0.0.1:8000       datagrams to a port on loopback\n"
    "  pebblewire -b -f 10.0.0.1 -t 10.0.0.2    one pair of hosts, both ways\n"
    "  pebblewire -r dump.pcap -q -d 3          decode packet 3 of a file\n"
    "  pebblewire -i eth0 -c 100 --save-packets dns.bin udp port 53\n"
    "                                           keep 100 DNS datagrams of eth0\n"
    "  pebblewire -i lo --time -w lo.pcap       rows with their times, and a pcap\n"
    "                                           file for other tools\n"
    "  pebblewire -r all.pcapng -w - udp port 53 | tshark -r -\n"
    "                                           a file's DNS datagrams, as pcap,\n"
    "                                           into a pipe\n"
    "\n"
    "Live capture needs root or the CAP_NET_RAW capability. Standard output\n"
    "carries the rows and the -d reports only (or, with -w -, the pcap file\n"
    "alone); the system, the interface, every end of a capture and the\n"
    "summary go to standard error.\n"
    "\n"
    "Exit status: 0 on success; 1 when capturing, reading, saving or a -d\n"
    "report failed; 2 for wrong arguments (an unknown flag, a value not in\n"
    "its accepted form, an interface that is not there, a bad expression).\n"
    "A closed output pipe ends the program as it ends other commands\n"
    "(SIGPIPE).\n";

}  // namespace

bool WritesStandardOutput(const CliOptions& o) { return o.write_file == kStandardOutput; }

bool PrintsRows(const CliOptions& o) { return !o.quiet && !WritesStandardOutput(o); }

bool ParseProtocolList(std::string_view list, ProtocolSwitches& switches) {
  ProtocolSwitches s{false, false, false, false, false};
  for (;;) {
    const size_t comma = list.find(',');
    const std::string_view name = list.substr(0, comma);
    const StoredProtocol* found = nullptr;
    for (const StoredProtocol& p : kStoredProtocols) {
      if (p.name == name) found = &p;
    }
    if (found == nullptr) return false;
    s.*found->switched_on = true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  switches = s;
  return true;
}

bool ParseStrictField(std::string_view text, std::string& field) {
  const size_t colon = text.find(':');
  const std::string_view address = text.substr(0, colon);
  std::string port;
  if (!IsStrictAddress(address)) return false;
  if (!ParseStrictPort(colon == std::string_view::npos ? "*" : text.substr(colon + 1), port)) {
    return false;
  }
  field = std::string(address) + ":" + port;
  return true;
}

ParseResult ParseCommandLine(const std::vector<std::string_view>& args) {
  return Parser(args).run();
}

std::string HelpText() {
  std::string text(kHelpHead);
  for (const FlagSpec& f : kFlags) text += FlagHelp(f);
  return text + std::string(kHelpTail);
}

std::string VersionText() { return "pebblewire " + std::string(ProgramVersion()) + "\n"; }

}  // namespace pw::cli
