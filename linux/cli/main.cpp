// pebblewire: the Linux command-line front end. Checks the arguments,
// starts a capture session on a live device (libpcap) or a capture file
// (the portable reader, as the Windows program reads them), prints one row
// per stored datagram on standard output until Ctrl-C, the packet limit, a
// full byte pool or the end of the file, and finally writes the save files
// (the pcap file of -w among them) and the -d reports. Everything else (the
// system, what is captured, how the capture ended, the summary) goes to
// standard error.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "capture/descriptor_input.h"
#include "capture/frame_filter.h"
#include "capture/interface_list.h"
#include "capture/pcap_source.h"
#include "capture/privilege.h"
#include "capture/store_memory.h"
#include "cli/interfaces.h"
#include "cli/options.h"
#include "cli/save_file.h"
#include "cli/stream_file.h"
#include "cli/terminal.h"
#include "decode/detail_report.h"
#include "engine/capture_session.h"
#include "files/capture_file_source.h"
#include "files/capture_stream.h"
#include "files/save_data.h"
#include "ui/details_selection.h"

namespace {

using namespace pw;
using namespace pw::cli;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The whole capture store, for the life of the process.
CaptureStore& g_store = StoreInLargePages();

std::string ReadSmallFile(const char* path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ThisSystem() {
  utsname names{};
  const std::string os_release = ReadSmallFile("/etc/os-release");
  if (uname(&names) != 0) return DescribeLinuxSystem(os_release, "", "");
  return DescribeLinuxSystem(os_release, names.sysname, names.release);
}

void Complain(const std::string& text) {
  std::fprintf(stderr, "pebblewire: %s\n", text.c_str());
}

int UsageError(const std::string& text) {
  Complain(text);
  std::fputs("Try 'pebblewire --help' for more information.\n", stderr);
  return kExitUsage;
}

// Ctrl-C and its kin are taken by the main loop (a signalfd), not by a
// handler; the capture thread inherits the blocked mask. Blocked first, so
// that no signal ends the program while a save file is half made.
sigset_t BlockStopSignals() {
  sigset_t stops;
  sigemptyset(&stops);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, s);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a closed output is seen as a write error
  signal(SIGXFSZ, SIG_IGN);  // a file past the size limit too (EFBIG)
  return stops;
}

std::string SignalName(int number) {
  const char* abbreviation = sigabbrev_np(number);
  return abbreviation != nullptr ? std::string("SIG") + abbreviation : std::to_string(number);
}

// A descriptor that closes with its owner; -1 when it could not be made.
class OwnedFd {
 public:
  explicit OwnedFd(int fd) : fd_(fd) {}
  ~OwnedFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Ends the program as a closed pipe ends other commands.
int DieOfClosedPipe() {
  std::fflush(stderr);
  signal(SIGPIPE, SIG_DFL);
  raise(SIGPIPE);
  return 128 + SIGPIPE;
}

// The capture device for -i (or its absence); exits 2 or 1 through
// `status` when there is none.
std::optional<std::string> ChooseDevice(const CliOptions& o, int& status) {
  const std::optional<std::string> device =
      ChooseCaptureDevice(o.interface_text, ListNetworkInterfaces());
  if (device) return device;
  if (o.interface_text) {
    status = UsageError("-i/--interface: \"" + *o.interface_text +
                        "\" is not an interface of this system: give an interface name "
                        "or an IPv4 address that -D lists, or any");
  } else {
    Complain("cannot capture: no interface has an IPv4 address; -D lists the interfaces, "
             "-i NAME or -i any chooses one");
    status = kExitFailed;
  }
  return std::nullopt;
}

// The packet source of a run: a live device, or a capture file (a path or
// standard input) read by the portable reader, with the expression as its
// record selector.
class RunSource {
 public:
  RunSource(const CliOptions& o, std::string device);
  PacketSource& packets();
  // Where the run's datagrams come from: the device, or the file.
  const CaptureOrigin& origin() const { return origin_; }
  bool describe(SourceDescription& description) const;
  bool expression_refused() const;
  // Live capture only: what the kernel dropped.
  std::optional<uint64_t> kernel_drops() const;

 private:
  ExpressionSelector selector_;
  CaptureOrigin origin_;
  std::unique_ptr<PcapLiveSource> live_;
  std::unique_ptr<CaptureFileSource> file_;
};

RunSource::RunSource(const CliOptions& o, std::string device) : selector_(o.expression) {
  if (!o.read_file) {
    origin_ = DeviceOrigin(std::move(device));
    // The fields' rules join the expression in the kernel, so that what
    // the capture does not store never wakes it.
    live_ = std::make_unique<PcapLiveSource>(
        o.expression, FieldsFilterText(BuildFilterSettings(o.from_field, o.to_field,
                                                           o.both_traffic, o.protocols)));
    return;
  }
  origin_ = FileOrigin(*o.read_file);
  file_ = std::make_unique<CaptureFileSource>(
      *o.read_file, std::make_unique<DescriptorInputOpener>(*o.read_file));
  if (!o.expression.empty()) file_->select_with(&selector_);
}

PacketSource& RunSource::packets() {
  return live_ ? static_cast<PacketSource&>(*live_) : *file_;
}

bool RunSource::describe(SourceDescription& description) const {
  return live_ ? live_->describe(description) : file_->describe(description);
}

bool RunSource::expression_refused() const {
  return live_ ? live_->expression_refused() : file_->selection_refused();
}

std::optional<uint64_t> RunSource::kernel_drops() const {
  if (!live_) return std::nullopt;
  return live_->kernel_drops();
}

// Where -w writes: FILE, with -C and -W a series or a ring of files.
StreamPlan StreamPlanOf(const CliOptions& o) {
  return {*o.write_file, uint64_t{o.file_size} * kFileSizeUnit, o.ring_files};
}

// How the wait for the end of the capture ended.
enum class LoopEnd {
  kByItself,  // the session ended (limit, full pool, end of file, failure)
  kSignal,    // Ctrl-C, SIGTERM or SIGHUP
  kOutput,    // the rows could not be written, or their reader has gone
};

// One capture, from the save files' preparation to the exit status.
class CaptureRun {
 public:
  CaptureRun(const CliOptions& o, const sigset_t& stops, std::string device);
  int run();

 private:
  bool prepare_save_files();
  bool start_session();
  LoopEnd wait_for_end();
  LoopEnd settle(LoopEnd how);
  void announce_origin();
  int report_open_failure();
  bool report_end(LoopEnd how);
  void print_summary();
  SaveFile& save_file(SaveFormat format) { return save_files_[static_cast<size_t>(format)]; }
  bool save(const SaveFormatEntry& entry);
  bool save_files();
  bool stream_failed();
  bool print_details();

  const CliOptions& o_;
  // The stop signals, as the main loop waits for them, and what the
  // terminal view writes when it has something new.
  OwnedFd signals_;
  OwnedFd wakeups_;
  TerminalView view_;
  RunSource source_;
  CaptureSession session_;
  std::array<SaveFile, kSaveFormatCount> save_files_;
  // -w: the capture streamed into a file as it runs.
  DescriptorStreamFile stream_file_;
  std::optional<CaptureStream> stream_;
  bool announced_ = false;
  CaptureEnd end_why_ = CaptureEnd::kSourceEnded;  // valid for LoopEnd::kByItself
  bool output_closed_ = false;
  int signal_ = 0;
};

CaptureRun::CaptureRun(const CliOptions& o, const sigset_t& stops, std::string device)
    : o_(o),
      signals_(signalfd(-1, &stops, SFD_CLOEXEC)),
      wakeups_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      view_(g_store, stdout, !PrintsRows(o), isatty(STDERR_FILENO) ? stderr : nullptr,
            o.row_times),
      source_(o, std::move(device)),
      session_(g_store, view_, source_.packets()) {
  if (o.write_file) {
    stream_.emplace(stream_file_, StreamPlanOf(o));
    view_.expect_unstored_rows();
  }
}

int CaptureRun::run() {
  if (signals_.get() < 0 || wakeups_.get() < 0) {
    Complain(std::string("cannot make the descriptors the capture waits on: ") +
             std::strerror(errno));
    return kExitFailed;
  }
  const int wakeups = wakeups_.get();
  view_.set_wakeup([wakeups] { eventfd_write(wakeups, 1); });
  // Writing the file being read would destroy it as the stream begins.
  if (o_.write_file && o_.read_file && SameFile(*o_.read_file, *o_.write_file)) {
    return UsageError("-r/--read and -w/--write name the same file: writing it would destroy "
                      "what is read");
  }
  if (o_.read_file && *o_.read_file != kStandardOutput) stream_file_.keep_from(*o_.read_file);
  // Save files are made ready first, so that a path that cannot be written
  // is reported before anything is captured.
  if (!prepare_save_files()) return kExitFailed;
  static char row_buffer[1 << 16];
  std::setvbuf(stdout, row_buffer, _IOFBF, sizeof row_buffer);
  if (!start_session()) return kExitFailed;
  const LoopEnd how = settle(wait_for_end());
  view_.finish();
  announce_origin();
  if (how == LoopEnd::kByItself && end_why_ == CaptureEnd::kOpenFailed) {
    return report_open_failure();  // nothing captured, nothing saved
  }
  const bool captured = report_end(how);
  const bool saved = save_files();
  const bool detailed = print_details();
  if (saved && output_closed_) return DieOfClosedPipe();
  return captured && saved && detailed ? kExitOk : kExitFailed;
}

bool CaptureRun::prepare_save_files() {
  for (const SaveFormatEntry& entry : kSaveFormats) {
    const std::optional<std::string>& path = o_.save_file(entry.format);
    if (!path) continue;
    SaveFile& file = save_file(entry.format);
    if (!file.prepare(*path)) {
      Complain(file.error());
      return false;
    }
  }
  return true;
}

bool CaptureRun::start_session() {
  StartRequest request;
  request.origin = source_.origin();
  request.from_field = o_.from_field;
  request.to_field = o_.to_field;
  request.both_traffic = o_.both_traffic;
  request.protocols = o_.protocols;
  request.packet_limit = o_.count;
  request.stream = stream_ ? &*stream_ : nullptr;
  switch (session_.start(request, RightsToRead(request.origin, SystemPrivilegeCheck()))) {
    case StartOutcome::kStarted:
      return true;
    case StartOutcome::kRefusedNotAllowed:
      Complain("live capture needs root or the CAP_NET_RAW capability");
      return false;
    case StartOutcome::kRefusedCheckFailed:
      Complain("cannot find out whether this process may capture (root or CAP_NET_RAW)");
      return false;
    case StartOutcome::kThreadFailed:
      Complain(view_.end_detail());
      return false;
    case StartOutcome::kStreamFailed:
      Complain("cannot write " + view_.end_detail());
      return false;
  }
  return false;
}

// poll, with its revents cleared first; false (said) when it fails.
bool Wait(pollfd* fds, nfds_t count, int timeout) {
  for (nfds_t i = 0; i < count; ++i) fds[i].revents = 0;
  if (poll(fds, count, timeout) >= 0 || errno == EINTR) return true;
  Complain(std::string("cannot wait for the capture: ") + std::strerror(errno));
  return false;
}

LoopEnd CaptureRun::wait_for_end() {
  // Standard output is watched while something is to be written to it: a
  // pipe whose reader has gone reports an error, so that a capture printing
  // nothing new still ends at once.
  const int output = !o_.quiet || WritesStandardOutput(o_) ? STDOUT_FILENO : -1;
  // After something new, rows and the live count are brought up to date at
  // most this often, so that a burst is printed in batches.
  constexpr int kBatchMilliseconds = 50;
  for (;;) {
    announce_origin();
    if (view_.ended()) return LoopEnd::kByItself;
    if (!view_.update()) return LoopEnd::kOutput;
    // With nothing new, sleep until a signal, a wake-up or a closed
    // output; then, or with something new already, pause for the batch
    // (woken only by a signal or a closed output).
    pollfd fds[3] = {{signals_.get(), POLLIN, 0}, {output, 0, 0}, {wakeups_.get(), POLLIN, 0}};
    if (view_.arm_wakeup(announced_) && !Wait(fds, 3, -1)) return LoopEnd::kOutput;
    if (fds[2].revents & POLLIN) {
      eventfd_t count = 0;
      eventfd_read(wakeups_.get(), &count);
    }
    if (!(fds[0].revents & POLLIN) && !(fds[1].revents & (POLLERR | POLLHUP)) &&
        !Wait(fds, 2, kBatchMilliseconds)) {
      return LoopEnd::kOutput;
    }
    // A session that ended by itself while the loop waited ended first.
    if (view_.ended()) return LoopEnd::kByItself;
    signalfd_siginfo caught{};
    if ((fds[0].revents & POLLIN) &&
        read(signals_.get(), &caught, sizeof caught) == static_cast<ssize_t>(sizeof caught)) {
      signal_ = static_cast<int>(caught.ssi_signo);
      return LoopEnd::kSignal;
    }
    if (fds[1].revents & (POLLERR | POLLHUP)) return LoopEnd::kOutput;
  }
}

// Stops the session and settles how it ended. A session that ended by
// itself as a signal came (closing the device takes a while), or that
// stored all it was to store, ended by itself: a signal at that moment
// changes nothing that was captured.
LoopEnd CaptureRun::settle(LoopEnd how) {
  session_.stop();
  const uint64_t limit = o_.count != 0 ? o_.count : stream_ ? UINT64_MAX : kPacketLimit;
  if (view_.ended()) {
    end_why_ = view_.end_reason();
    if (how == LoopEnd::kSignal) how = LoopEnd::kByItself;
  } else if (how == LoopEnd::kSignal && view_.listed() >= limit) {
    end_why_ = CaptureEnd::kLimitReached;
    how = LoopEnd::kByItself;
  }
  return how;
}

// The system and "listening on ...", once the source is open.
void CaptureRun::announce_origin() {
  SourceDescription origin;
  if (announced_ || !source_.describe(origin)) return;
  announced_ = true;
  view_.say(stderr, ThisSystem());
  view_.say(stderr, OriginText(origin.file, origin.name, origin.link_type, origin.capture_size));
}

// A refused expression is a wrong argument: exit status 2.
int CaptureRun::report_open_failure() {
  if (source_.expression_refused()) {
    return UsageError("capture expression \"" + o_.expression + "\": " + view_.end_detail());
  }
  Complain(DescribeEnd(CaptureEnd::kOpenFailed, view_.end_detail(), o_.count).message);
  return kExitFailed;
}

// Says how the capture ended and prints the summary; false when the
// capture or the rows failed. A reader that went away is no failure: the
// program then ends as other commands do (DieOfClosedPipe).
bool CaptureRun::report_end(LoopEnd how) {
  bool ok = true;
  const bool write_failed = how == LoopEnd::kByItself && end_why_ == CaptureEnd::kWriteFailed;
  if (how == LoopEnd::kByItself && !(write_failed && stream_->error_number() == EPIPE)) {
    const EndReport end = DescribeEnd(end_why_, view_.end_detail(), o_.count, stream_.has_value());
    Complain(end.message);
    ok = !end.failed;
  } else if (how == LoopEnd::kSignal) {
    Complain(StoppedText(SignalName(signal_)));
  }
  if (!write_failed && stream_failed()) ok = false;
  if (stream_ && stream_->error_number() == EPIPE) output_closed_ = true;
  const int err = view_.write_error();
  if (err == EPIPE || (how == LoopEnd::kOutput && err == 0)) {
    output_closed_ = true;
  } else if (err != 0) {
    Complain(std::string("cannot write the rows: ") + std::strerror(err));
    ok = false;
  }
  print_summary();
  return ok;
}

void CaptureRun::print_summary() {
  const std::optional<uint64_t> written =
      stream_ ? std::optional<uint64_t>(stream_->written()) : std::nullopt;
  std::fprintf(stderr, "%s\n",
               SummaryText(view_.stored(), source_.kernel_drops(), written).c_str());
}

// A stream whose last write, or its syncing, failed after the session was
// stopped: the session could not say so. A closed pipe (-w -) ends the
// program quietly, as it ends other commands.
bool CaptureRun::stream_failed() {
  if (!stream_ || stream_->error().empty()) return false;
  if (stream_->error_number() != EPIPE) {
    Complain("capture failed: cannot write " + stream_->error());
  }
  return true;
}

// Writes one save file; an empty one when there is nothing to save, so that
// no older file survives under the name. False when it failed.
bool CaptureRun::save(const SaveFormatEntry& entry) {
  SaveFile& file = save_file(entry.format);
  const std::vector<uint8_t> bytes = entry.data(g_store);
  if (!file.commit(bytes)) {
    Complain(file.error());
    return false;
  }
  if (bytes.empty()) Complain(std::string(entry.nothing_text) + ", " + file.path() + " written empty");
  return true;
}

// -w: the stored datagrams with their times as a pcap file; the file
// header alone when nothing is stored. Standard output whose reader has
// gone gets nothing: the program then ends as a closed pipe ends it.

bool CaptureRun::save_files() {
  bool ok = true;
  for (const SaveFormatEntry& entry : kSaveFormats) {
    if (!o_.save_file(entry.format)) continue;
    ok = save(entry) && ok;
  }
  return ok;
}

// -d: the details report of each packet asked for, after the capture. A
// packet that is not stored gets the main list's "don't found data!" row.
bool CaptureRun::print_details() {
  if (o_.details.empty() || output_closed_) return true;
  bool all_found = true;
  const bool terminal = isatty(STDOUT_FILENO) != 0;
  for (const uint32_t index : o_.details) {
    DetailReport report;
    if (DecodePacket(g_store, index, o_.views, report) == DecodeResult::kNotStored) {
      std::printf("%s\n", kNoDataRow);
      Complain("packet " + std::to_string(index) + " is not stored");
      all_found = false;
      continue;
    }
    const std::string lines = DetailLines(report.entries, terminal);
    std::fwrite(lines.data(), 1, lines.size(), stdout);
  }
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return all_found;
  if (errno == EPIPE) output_closed_ = true;
  else Complain("cannot write the details report");
  return false;
}

int Capture(const CliOptions& o) {
  const sigset_t stops = BlockStopSignals();
  std::string device;
  if (!o.read_file) {
    int status = kExitOk;
    const std::optional<std::string> chosen = ChooseDevice(o, status);
    if (!chosen) return status;
    device = *chosen;
  }
  CaptureRun run(o, stops, std::move(device));
  return run.run();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const ParseResult parsed = ParseCommandLine(args);
  if (!parsed.ok) return UsageError(parsed.error);
  const CliOptions& o = parsed.options;
  switch (o.action) {
    case Action::kHelp:
      std::fputs(HelpText().c_str(), stdout);
      return kExitOk;
    case Action::kVersion:
      std::fputs(VersionText().c_str(), stdout);
      return kExitOk;
    case Action::kListInterfaces:
      std::fputs(InterfaceListText(ListNetworkInterfaces()).c_str(), stdout);
      return kExitOk;
    case Action::kCapture:
      break;
  }
  return Capture(o);
}
