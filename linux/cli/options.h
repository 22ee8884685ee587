// The command line of `pebblewire`: flags in the style of tcpdump, checked
// strictly and parsed into CliOptions by a portable parser. Whatever the
// parser accepts is something the program can honour; everything else is
// refused with a message that shows the accepted forms (exit status 2).
//
// Short flags may be grouped ("-bq") and take their value attached or as
// the next argument ("-c5", "-c 5"); long flags take it after "=" or as the
// next argument. Flags and the words of the capture expression may come in
// any order; after "--" every argument is a word of the expression. A flag
// with a value may be given once, except -d.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decode/payload_views.h"
#include "engine/filter.h"
#include "files/save_data.h"
#include "packet/ipv4_header.h"
#include "ui/settings_record.h"

namespace pw::cli {

enum class Action {
  kCapture,         // capture (live or from a file) and print rows
  kHelp,            // -h: print the help text
  kVersion,         // -V: print the version
  kListInterfaces,  // -D: print the interfaces and their addresses
};

struct CliOptions {
  Action action = Action::kCapture;
  // -i: an interface name, "any", or an interface address, as typed; the
  // program checks it against the system's interfaces. Unset: the first
  // address -D lists.
  std::optional<std::string> interface_text;
  // -f and -t: the field texts handed to the capture engine, always of the
  // form ADDR:PORT with "*" for any part ("10.0.0.1:*" for -f 10.0.0.1).
  // Without -f or -t: kAnyField.
  std::string from_field{kAnyField};
  std::string to_field{kAnyField};
  bool both_traffic = false;       // -b
  ProtocolSwitches protocols{true, true, false, false, false};  // -p
  std::optional<std::string> read_file;  // -r: offline; "-" standard input
  // -c: 0 means up to the packet limit, or without end with -w.
  uint32_t count = 0;
  bool quiet = false;              // -q
  bool row_times = false;          // --time: each row after its capture time
  // The files of the save formats' flags (--save-log, --save-packets),
  // written at the end, by SaveFormat.
  std::array<std::optional<std::string>, kSaveFormatCount> saves;
  const std::optional<std::string>& save_file(SaveFormat format) const {
    return saves[static_cast<size_t>(format)];
  }
  // -w: the pcap file every datagram is written to as it is captured; "-"
  // standard output, which then carries it alone (no rows).
  std::optional<std::string> write_file;
  // -C: a new file after this many millions of bytes (0: one file); -W: a
  // ring of this many files (0: none).
  uint32_t file_size = 0;
  uint32_t ring_files = 0;
  // -d, repeatable: packet indexes whose details report is printed at the
  // end, in the order given.
  std::vector<uint32_t> details;
  // --tcp-view and --hex: the payload views of the report, as on a first
  // run of the dialog (text view for tcp, hex view only for udp).
  PayloadViewFlags views = PayloadViewFlagsOf(kFirstRunSettings);
  // The capture expression in the capture library's syntax: the words
  // that are not flags, joined by blanks; empty when there are none.
  std::string expression;
};

struct ParseResult {
  bool ok = false;
  CliOptions options;
  std::string error;  // when !ok: what is wrong, for "pebblewire: <error>"
};

// The largest -c with -w, -C and -W.
inline constexpr uint32_t kStreamCountMax = 2'147'483'647;
inline constexpr uint32_t kFileSizeMax = 1'000'000;
inline constexpr uint32_t kRingFilesMax = 100'000;
// -C's unit: a million bytes, as tcpdump counts it.
inline constexpr uint64_t kFileSizeUnit = 1'000'000;

// -w's name for standard output.
inline constexpr std::string_view kStandardOutput = "-";

// True for -w -.
bool WritesStandardOutput(const CliOptions& o);

// True when rows are printed on standard output: not with -q, nor when
// standard output carries the pcap file (-w -).
bool PrintsRows(const CliOptions& o);

// `args` without the program name.
ParseResult ParseCommandLine(const std::vector<std::string_view>& args);

// "tcp,udp,icmp" into switches; false for an unknown or empty name.
bool ParseProtocolList(std::string_view list, ProtocolSwitches& switches);

// A filter field as the command line takes it: ADDR:PORT, ADDR or "*",
// where ADDR is a dotted-decimal IPv4 address written as a row prints it
// (ParseDottedQuad) or "*", and PORT is 1 to 65535 in decimal without
// leading zeros, or "*". Gives the field text the dialog needs for the same
// filter (ADDR:PORT with "*" for an absent part); false for any other text.
bool ParseStrictField(std::string_view text, std::string& field);

// The text of --help.
std::string HelpText();

// The text of --version.
std::string VersionText();

}  // namespace pw::cli
