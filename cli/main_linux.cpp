// pebblewire: the Linux command-line front end. Parses the flags, starts a
// capture session on a live device (libpcap) or a capture file, prints the
// system description and then one row per stored datagram until Ctrl-C, the
// packet limit, a full byte pool or the end of the file, and finally writes
// the save files and a summary.
#include <signal.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_session.h"
#include "capture/pcap_source.h"
#include "capture/save_data.h"
#include "cli/options.h"
#include "app/details_selection.h"
#include "decode/detail_report.h"
#include "cli/save_file.h"
#include "cli/terminal.h"
#include "shell/interface_slots.h"

namespace {

using namespace pw;
using namespace pw::cli;

// The whole capture store, for the life of the process.
CaptureStore g_store;

// Reading a file needs no right to capture.
class FileReadingAllowed final : public PrivilegeCheck {
 public:
  PrivilegeResult check() override { return {true, true}; }
};

std::string ReadSmallFile(const char* path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ThisSystem() {
  utsname names{};
  if (uname(&names) != 0) return SystemDescription(ReadSmallFile("/etc/os-release"), "", "");
  return SystemDescription(ReadSmallFile("/etc/os-release"), names.sysname, names.release);
}

void Complain(const std::string& text) {
  std::fprintf(stderr, "pebblewire: %s\n", text.c_str());
}

// Writes one save file; false when it failed.
bool Save(SaveFile& file, std::span<const uint8_t> bytes, const char* nothing) {
  if (bytes.empty()) {
    Complain(std::string(nothing) + ", " + file.path() + " not written");
    file.abandon();
    return true;
  }
  if (!file.commit(bytes)) {
    Complain(file.error());
    return false;
  }
  return true;
}

// -d: the details report of each packet asked for, after the capture. A
// packet that is not stored gets the main list's "don't found data!" row.
bool PrintDetails(const CliOptions& o) {
  bool all_found = true;
  const bool terminal = isatty(STDOUT_FILENO) != 0;
  for (const uint32_t index : o.details) {
    DetailReport report;
    if (DecodePacket(g_store, index, o.views, report) == DecodeResult::kNotStored) {
      std::printf("%s\n", kNoDataRow);
      Complain("packet " + std::to_string(index) + " is not stored");
      all_found = false;
      continue;
    }
    const std::string lines = DetailLines(report.entries, terminal);
    std::fwrite(lines.data(), 1, lines.size(), stdout);
  }
  if (std::fflush(stdout) != 0) {
    Complain("cannot write the details report");
    return false;
  }
  return all_found;
}

int Capture(const CliOptions& o, const InterfaceSlots& slots,
            const std::vector<std::string>& combo) {
  // Save files are made ready first, so that a path that cannot be written
  // is reported before anything is captured.
  SaveFile log_file;
  SaveFile packets_file;
  if ((o.save_log && !log_file.prepare(*o.save_log)) ||
      (o.save_packets && !packets_file.prepare(*o.save_packets))) {
    Complain(!log_file.error().empty() ? log_file.error() : packets_file.error());
    return 1;
  }

  // Ctrl-C and its kin are taken by the main loop (sigtimedwait), not by a
  // handler; the capture thread inherits the blocked mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a closed output is seen as a write error

  static char row_buffer[1 << 16];
  std::setvbuf(stdout, row_buffer, _IOFBF, sizeof row_buffer);
  std::printf("%s\n", ThisSystem().c_str());
  std::fflush(stdout);

  TerminalView view(g_store, stdout, o.quiet, isatty(STDERR_FILENO) ? stderr : nullptr);
  std::unique_ptr<PacketSource> source;
  PcapLiveSource* live = nullptr;
  if (o.read_file) {
    source = std::make_unique<PcapFileSource>(*o.read_file);
  } else {
    auto device = std::make_unique<PcapLiveSource>();
    live = device.get();
    source = std::move(device);
  }
  FileReadingAllowed file_rights;
  PrivilegeCheck& rights = o.read_file ? static_cast<PrivilegeCheck&>(file_rights)
                                       : SystemPrivilegeCheck();
  CaptureSession session(g_store, view, *source, rights);

  StartRequest request;
  request.interface_text = o.interface_text ? *o.interface_text : combo.front();
  request.from_field = o.from_field;
  request.to_field = o.to_field;
  request.both_traffic = o.both_traffic;
  request.protocols = o.protocols;
  for (size_t i = 0; i < slots.size(); ++i) request.interface_addresses[i] = slots[i];
  request.packet_limit = o.count;

  switch (session.start(request)) {
    case StartOutcome::kStarted:
      break;
    case StartOutcome::kRefusedNotAllowed:
      Complain("live capture needs root or the CAP_NET_RAW capability");
      return 1;
    case StartOutcome::kRefusedCheckFailed:
      Complain("cannot find out whether this process may capture");
      return 1;
    case StartOutcome::kThreadFailed:
      Complain(view.end_detail());
      return 1;
  }

  bool output_failed = false;
  const timespec tick{0, 50 * 1000 * 1000};
  while (!view.ended()) {
    siginfo_t info;
    if (sigtimedwait(&stop_signals, &info, &tick) > 0) break;  // "stop"
    if (!view.update()) {
      output_failed = true;
      break;
    }
  }
  const bool ended_by_itself = view.ended();
  session.stop();
  if (!view.finish()) output_failed = true;

  bool failed = output_failed;
  if (ended_by_itself) {
    bool end_failed = false;
    const std::string message = EndMessage(view.end_reason(), view.end_detail(), end_failed);
    if (!message.empty()) Complain(message);
    failed = failed || end_failed;
  }
  std::optional<uint64_t> drops;
  if (live != nullptr && !(ended_by_itself && view.end_reason() == CaptureEnd::kOpenFailed)) {
    drops = live->kernel_drops();
  }
  std::fprintf(stderr, "%s\n", SummaryText(view.stored(), drops).c_str());

  const std::string_view log = SniffLogSaveData(g_store);
  if (o.save_log &&
      !Save(log_file, {reinterpret_cast<const uint8_t*>(log.data()), log.size()},
            "nothing to save: the sniff log is empty")) {
    failed = true;
  }
  if (o.save_packets &&
      !Save(packets_file, PacketsSaveData(g_store), "nothing to save: no datagram is stored")) {
    failed = true;
  }
  if (!PrintDetails(o)) failed = true;
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  const ParseResult parsed = ParseCommandLine(args);
  if (!parsed.ok) {
    Complain(parsed.error);
    std::fputs("Try 'pebblewire --help' for more information.\n", stderr);
    return 2;
  }
  const CliOptions& o = parsed.options;
  switch (o.action) {
    case Action::kHelp:
      std::fputs(HelpText().c_str(), stdout);
      return 0;
    case Action::kVersion:
      std::fputs(VersionText().c_str(), stdout);
      return 0;
    case Action::kListInterfaces:
    case Action::kCapture:
      break;
  }
  const InterfaceSlots slots = FillInterfaceSlots(QuerySystemAdapters());
  const std::vector<std::string> combo = InterfaceComboEntries(slots);
  if (o.action == Action::kListInterfaces) {
    for (const std::string& entry : combo) std::printf("%s\n", entry.c_str());
    return 0;
  }
  return Capture(o, slots, combo);
}
