#include "cli/options.h"

#include <cstdint>

#include "capture/capture_store.h"

namespace pw::cli {

namespace {

enum class Flag {
  kInterface, kFrom, kTo, kBoth, kProtocols, kRead, kCount, kQuiet,
  kSaveLog, kSavePackets, kDetails, kTcpView, kHex, kListInterfaces, kVersion,
  kHelp,
};

struct FlagSpec {
  char short_name;  // 0: long form only
  std::string_view long_name;
  std::string_view value_name;  // empty: the flag takes no value
  std::string_view help;
  Flag flag;
};

// One table drives the parser and the help text.
constexpr FlagSpec kFlags[] = {
    {'i', "interface", "ADDR",
     "capture on the interface with this address, as\n"
     "-D lists it (default: the first); 127.0.0.1 is\n"
     "the loopback device; an address that is not in\n"
     "the list captures on every device",
     Flag::kInterface},
    {'f', "from", "ADDR:PORT",
     "store only datagrams from this address and port\n"
     "(* for any; default *:*)",
     Flag::kFrom},
    {'t', "to", "ADDR:PORT",
     "store only datagrams to this address and port\n"
     "(default *:*)",
     Flag::kTo},
    {'b', "both", "",
     "with an address on both sides and no port, also\n"
     "store the opposite direction",
     Flag::kBoth},
    {'p', "protocols", "LIST",
     "comma list of tcp,udp,icmp,igmp,raw to store\n"
     "(default tcp,udp)",
     Flag::kProtocols},
    {'r', "read", "FILE",
     "read a capture file (pcap or pcapng) instead of\n"
     "the network",
     Flag::kRead},
    {'c', "count", "N",
     "stop after N stored datagrams, 1 to 10000 (every\n"
     "capture stops at 10000, or when the 819200 bytes\n"
     "for datagrams are full)",
     Flag::kCount},
    {'q', "quiet", "", "print no rows", Flag::kQuiet},
    {0, "save-log", "FILE",
     "at the end, write the sniff log to FILE: the\n"
     "rows, each ended by CR LF",
     Flag::kSaveLog},
    {0, "save-packets", "FILE",
     "at the end, write the stored datagrams to FILE,\n"
     "back to back, as captured",
     Flag::kSavePackets},
    {'d', "details", "N",
     "at the end, print the details report of packet N\n"
     "(0 is the first row), one entry per line; may be\n"
     "given several times",
     Flag::kDetails},
    {0, "tcp-view", "text|ascii",
     "show a tcp payload in the report as text up to\n"
     "its first zero byte (default), or as ASCII, 64\n"
     "bytes a line",
     Flag::kTcpView},
    {0, "hex", "udp|tcp",
     "hex view of the payload in the report for udp\n"
     "only (default), or for tcp and udp",
     Flag::kHex},
    {'D', "list-interfaces", "", "print the interface addresses and exit",
     Flag::kListInterfaces},
    {'V', "version", "", "print the version and exit", Flag::kVersion},
    {'h', "help", "", "print this help and exit", Flag::kHelp},
};

std::string FlagName(const FlagSpec& entry) {
  if (entry.short_name != 0) {
    return std::string("-") + entry.short_name + "/--" + std::string(entry.long_name);
  }
  return "--" + std::string(entry.long_name);
}

// A decimal number from `low` to `high` (at most five digits).
bool ParseNumber(std::string_view text, uint32_t low, uint32_t high, uint32_t& number) {
  if (text.empty() || text.size() > 5) return false;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value < low || value > high) return false;
  number = value;
  return true;
}

bool ParseCount(std::string_view text, uint32_t& count) {
  return ParseNumber(text, 1, kPacketLimit, count);
}

// Packet indexes run from 0 to one below the packet limit.
bool ParseIndex(std::string_view text, uint32_t& index) {
  return ParseNumber(text, 0, kPacketLimit - 1, index);
}

// Applies one flag with its value; false and `error` when the value is bad.
bool Apply(const FlagSpec& entry, std::string_view value, CliOptions& o,
           std::string& error) {
  switch (entry.flag) {
    case Flag::kInterface: o.interface_text = std::string(value); break;
    case Flag::kFrom: o.from_field = std::string(value); break;
    case Flag::kTo: o.to_field = std::string(value); break;
    case Flag::kBoth: o.both_traffic = true; break;
    case Flag::kProtocols:
      if (!ParseProtocolList(value, o.protocols)) {
        error = FlagName(entry) + ": \"" + std::string(value) +
                "\" is not a comma list of tcp, udp, icmp, igmp, raw";
        return false;
      }
      break;
    case Flag::kRead: o.read_file = std::string(value); break;
    case Flag::kCount:
      if (!ParseCount(value, o.count)) {
        error = FlagName(entry) + ": \"" + std::string(value) +
                "\" is not a number from 1 to 10000";
        return false;
      }
      break;
    case Flag::kQuiet: o.quiet = true; break;
    case Flag::kSaveLog: o.save_log = std::string(value); break;
    case Flag::kSavePackets: o.save_packets = std::string(value); break;
    case Flag::kDetails: {
      uint32_t index = 0;
      if (!ParseIndex(value, index)) {
        error = FlagName(entry) + ": \"" + std::string(value) +
                "\" is not a packet number from 0 to 9999";
        return false;
      }
      o.details.push_back(index);
      break;
    }
    case Flag::kTcpView:
      if (value != "text" && value != "ascii") {
        error = FlagName(entry) + ": \"" + std::string(value) + "\" is not text or ascii";
        return false;
      }
      o.views.tcp_text = value == "text";
      o.views.tcp_ascii = value == "ascii";
      break;
    case Flag::kHex:
      if (value != "udp" && value != "tcp") {
        error = FlagName(entry) + ": \"" + std::string(value) + "\" is not udp or tcp";
        return false;
      }
      o.views.tcp_hex = value == "tcp";
      break;
    case Flag::kListInterfaces: o.action = Action::kListInterfaces; break;
    case Flag::kVersion: o.action = Action::kVersion; break;
    case Flag::kHelp: o.action = Action::kHelp; break;
  }
  if ((entry.flag == Flag::kRead || entry.flag == Flag::kSaveLog ||
       entry.flag == Flag::kSavePackets) && value.empty()) {
    error = FlagName(entry) + ": the file name is empty";
    return false;
  }
  return true;
}

}  // namespace

bool ParseProtocolList(std::string_view list, ProtocolSwitches& switches) {
  ProtocolSwitches s{false, false, false, false, false};
  for (;;) {
    const size_t comma = list.find(',');
    const std::string_view name = list.substr(0, comma);
    if (name == "tcp") s.tcp = true;
    else if (name == "udp") s.udp = true;
    else if (name == "icmp") s.icmp = true;
    else if (name == "igmp") s.igmp = true;
    else if (name == "raw") s.raw = true;
    else return false;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  switches = s;
  return true;
}

ParseResult ParseCommandLine(const std::vector<std::string_view>& args) {
  ParseResult result;
  CliOptions& o = result.options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg.size() > 2 && arg.substr(0, 2) == "--") {
      std::string_view name = arg.substr(2);
      std::optional<std::string_view> value;
      if (const size_t eq = name.find('='); eq != std::string_view::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
      }
      const FlagSpec* entry = nullptr;
      for (const FlagSpec& f : kFlags) {
        if (f.long_name == name) entry = &f;
      }
      if (entry == nullptr) {
        result.error = "unknown option --" + std::string(name);
        return result;
      }
      if (entry->value_name.empty()) {
        if (value) {
          result.error = FlagName(*entry) + " takes no value";
          return result;
        }
        value = "";
      } else if (!value) {
        if (i + 1 >= args.size()) {
          result.error = FlagName(*entry) + " needs " + std::string(entry->value_name);
          return result;
        }
        value = args[++i];
      }
      if (!Apply(*entry, *value, o, result.error)) return result;
      continue;
    }
    if (arg.size() >= 2 && arg[0] == '-' && arg[1] != '-') {
      for (size_t j = 1; j < arg.size(); ++j) {
        const FlagSpec* entry = nullptr;
        for (const FlagSpec& f : kFlags) {
          if (f.short_name != 0 && f.short_name == arg[j]) entry = &f;
        }
        if (entry == nullptr) {
          result.error = std::string("unknown option -") + arg[j];
          return result;
        }
        std::string_view value;
        if (!entry->value_name.empty()) {
          if (j + 1 < arg.size()) {
            value = arg.substr(j + 1);
          } else if (i + 1 < args.size()) {
            value = args[++i];
          } else {
            result.error = FlagName(*entry) + " needs " + std::string(entry->value_name);
            return result;
          }
          j = arg.size();
        }
        if (!Apply(*entry, value, o, result.error)) return result;
      }
      continue;
    }
    result.error = "unexpected argument \"" + std::string(arg) + "\"";
    return result;
  }
  if (o.save_log && o.save_packets && *o.save_log == *o.save_packets) {
    result.error = "--save-log and --save-packets name the same file";
    return result;
  }
  result.ok = true;
  return result;
}

std::string HelpText() {
  std::string text =
      "Usage: pebblewire [OPTION]...\n"
      "Capture IPv4 datagrams on one interface (or read them from a capture\n"
      "file) and print one row per stored datagram: number, protocol, source\n"
      "address and port, destination address and port, total length, ttl,\n"
      "each after a tab. Ctrl-C stops the capture.\n"
      "\n";
  for (const FlagSpec& f : kFlags) {
    std::string head = "  ";
    head += f.short_name != 0 ? std::string("-") + f.short_name + ", " : "    ";
    head += "--" + std::string(f.long_name);
    if (!f.value_name.empty()) head += " " + std::string(f.value_name);
    std::string_view help = f.help;
    bool first = true;
    while (!help.empty()) {
      const size_t nl = help.find('\n');
      const std::string_view line = help.substr(0, nl);
      std::string left = first ? head : "";
      if (left.size() < 28) left.append(28 - left.size(), ' ');
      else if (first) left += "\n" + std::string(28, ' ');
      text += left + std::string(line) + "\n";
      first = false;
      if (nl == std::string_view::npos) break;
      help.remove_prefix(nl + 1);
    }
  }
  text +=
      "\n"
      "Live capture needs root or the CAP_NET_RAW capability. The summary\n"
      "(datagrams stored, and the kernel's drops) goes to standard error.\n"
      "Exit status: 0 on success, 1 when capturing or saving failed, 2 for\n"
      "wrong arguments.\n";
  return text;
}

std::string VersionText() { return "pebblewire 0.1.0\n"; }

}  // namespace pw::cli
