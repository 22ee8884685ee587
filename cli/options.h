// The command line of `pebblewire`: flags in the style of tcpdump, parsed
// into CliOptions by a portable parser. What the flags mean for the capture
// is decided in main_linux.cpp; the parser only checks their form.
//
// Short flags may be grouped ("-bq") and take their value attached or as the
// next argument ("-c5", "-c 5"); long flags take it after "=" or as the next
// argument. A flag given twice keeps its last value.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/filter.h"
#include "decode/payload_views.h"

namespace pw::cli {

enum class Action {
  kCapture,         // capture (live or from a file) and print rows
  kHelp,            // -h: print the help text
  kVersion,         // -V: print the version
  kListInterfaces,  // -D: print the interface address list
};

struct CliOptions {
  Action action = Action::kCapture;
  // -i: the interface combo's text; unset: the first interface address.
  std::optional<std::string> interface_text;
  std::string from_field = "*:*";  // -f
  std::string to_field = "*:*";    // -t
  bool both_traffic = false;       // -b
  ProtocolSwitches protocols{true, true, false, false, false};  // -p
  std::optional<std::string> read_file;  // -r: offline
  uint32_t count = 0;              // -c: 0 means up to the packet limit
  bool quiet = false;              // -q
  std::optional<std::string> save_log;      // --save-log
  std::optional<std::string> save_packets;  // --save-packets
  // -d, repeatable: packet indexes whose details report is printed at the
  // end, in the order given.
  std::vector<uint32_t> details;
  // --tcp-view and --hex: the payload views of the report, as on a first
  // run of the dialog (text view for tcp, hex view only for udp).
  PayloadViewFlags views{false, true, false};
};

struct ParseResult {
  bool ok = false;
  CliOptions options;
  std::string error;  // when !ok: what is wrong, for "pebblewire: <error>"
};

// `args` without the program name.
ParseResult ParseCommandLine(const std::vector<std::string_view>& args);

// "tcp,udp,icmp" into switches; false for an unknown or empty name.
bool ParseProtocolList(std::string_view list, ProtocolSwitches& switches);

// The text of --help.
std::string HelpText();

// The text of --version.
std::string VersionText();

}  // namespace pw::cli
