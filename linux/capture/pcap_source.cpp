#include "capture/pcap_source.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "capture/frame_filter.h"
#include "packet/link_layer.h"

namespace pw {

namespace {

// Longest frame taken from the device (the snapshot length): tcpdump's
// default, so that no IPv4 or IPv6 datagram is cut by it, whatever the link
// header in front of it.
constexpr int kSnapshotLength = 262144;

// Kernel ring buffer of a live capture. A burst of small datagrams must fit
// while the capture thread is not scheduled; this holds tens of thousands.
constexpr int kRingBufferBytes = 4 * 1024 * 1024;

// How long the kernel may hold a partly filled block of datagrams before it
// hands it over. Short enough that rows appear at once to the eye; the
// blocks let a burst of small datagrams share the ring instead of taking a
// 64 KiB slot each, as they would in the library's immediate mode on the
// loopback device (its MTU is 64 KiB).
constexpr int kBlockTimeoutMs = 5;

// The error text for a link type this program cannot take datagrams from,
// or "" for a supported one.
std::string LinkTypeError(const std::string& name, int link_type) {
  if (IsSupportedLinkType(link_type)) return "";
  const char* type = pcap_datalink_val_to_name(link_type);
  return name + ": link type " + (type != nullptr ? type : std::to_string(link_type)) +
         " is not supported";
}

// The netmask of a device for the expression's "broadcast" tests; unknown
// when the device has none ("any").
bpf_u_int32 NetmaskOf(const std::string& device) {
  bpf_u_int32 net = 0;
  bpf_u_int32 mask = 0;
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  if (pcap_lookupnet(device.c_str(), &net, &mask, errbuf) != 0) return PCAP_NETMASK_UNKNOWN;
  return mask;
}

// The frame's time as the handle gives it: its fraction of a second is in
// nanoseconds or microseconds, as the handle's precision says.
CaptureTime FrameTime(pcap* handle, const timeval& ts) {
  const bool nano = pcap_get_tstamp_precision(handle) == PCAP_TSTAMP_PRECISION_NANO;
  const uint64_t scale = nano ? 1 : 1000;
  const uint64_t fraction = ts.tv_usec > 0 ? static_cast<uint64_t>(ts.tv_usec) : 0;
  return NormalisedTime(ts.tv_sec, fraction * scale);
}

// Copies the IP datagram of a captured frame into the receive buffer
// (cut to its capacity), with its length before it was cut (the frame's
// length less the link header); false when the frame carries none.
bool TakeDatagram(int link_type, const pcap_pkthdr& header, const u_char* frame,
                  uint8_t* buffer, size_t capacity, size_t& length, size_t& original) {
  DatagramSpan span{};
  if (!FindIpDatagram(link_type, frame, header.caplen, span)) return false;
  length = span.length < capacity ? span.length : capacity;
  original = header.len > span.offset ? header.len - span.offset : 0;
  if (original < span.length) original = span.length;
  std::memcpy(buffer, frame + span.offset, length);
  return true;
}

std::string ErrnoText(const char* what, int err) {
  std::string text = what;
  text += ": ";
  text += std::strerror(err);
  return text;
}

}  // namespace

std::string CaptureDeviceFor(uint32_t bind_address) {
  std::string chosen = "any";
  if (bind_address == 0 || bind_address == 0xFFFFFFFFu) return chosen;
  pcap_if_t* devices = nullptr;
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  if (pcap_findalldevs(&devices, errbuf) != 0) return chosen;
  const bool loopback = bind_address == 0x7F000001u;
  const uint32_t wanted = htonl(bind_address);
  for (pcap_if_t* d = devices; d != nullptr && chosen == "any"; d = d->next) {
    if (loopback) {
      if (d->flags & PCAP_IF_LOOPBACK) chosen = d->name;
      continue;
    }
    for (pcap_addr_t* a = d->addresses; a != nullptr; a = a->next) {
      if (a->addr == nullptr || a->addr->sa_family != AF_INET) continue;
      sockaddr_in in{};
      std::memcpy(&in, a->addr, sizeof in);
      if (in.sin_addr.s_addr == wanted) {
        chosen = d->name;
        break;
      }
    }
  }
  pcap_freealldevs(devices);
  return chosen;
}

PcapLiveSource::PcapLiveSource(std::string expression, std::string fields_filter)
    : expression_(std::move(expression)),
      fields_filter_(std::move(fields_filter)),
      wake_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

PcapLiveSource::~PcapLiveSource() {
  close();
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

// Every failure after pcap_create leaves the handle to close(), the one
// place that closes it.
bool PcapLiveSource::open(const CaptureOrigin& origin) {
  opened_.store(false, std::memory_order_release);
  error_.clear();
  expression_refused_ = false;
  if (wake_fd_ < 0) {
    error_ = "eventfd: cannot create the wake-up descriptor";
    return false;
  }
  device_ = origin.device.empty() ? CaptureDeviceFor(origin.address) : origin.device;
  if (!activate() || !take_link_type() || !set_kernel_filter() || !make_pollable()) {
    close();
    return false;
  }
  description_ = {false, device_, LinkTypeText(link_type_), pcap_snapshot(handle_)};
  opened_.store(true, std::memory_order_release);
  return true;
}

bool PcapLiveSource::describe(SourceDescription& description) const {
  if (!opened_.load(std::memory_order_acquire)) return false;
  description = description_;
  return true;
}

bool PcapLiveSource::activate() {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  handle_ = pcap_create(device_.c_str(), errbuf);
  if (handle_ == nullptr) {
    error_ = device_ + ": " + errbuf;
    return false;
  }
  pcap_set_snaplen(handle_, kSnapshotLength);
  pcap_set_promisc(handle_, 0);
  pcap_set_timeout(handle_, kBlockTimeoutMs);
  pcap_set_buffer_size(handle_, kRingBufferBytes);
  // A device that refuses nanoseconds keeps the library's microseconds;
  // FrameTime asks the handle which it has.
  pcap_set_tstamp_precision(handle_, PCAP_TSTAMP_PRECISION_NANO);
  const int status = pcap_activate(handle_);
  if (status >= 0) return true;
  const char* detail = pcap_geterr(handle_);
  error_ = device_ + ": " +
           (detail != nullptr && *detail != '\0' ? detail : pcap_statustostr(status));
  return false;
}

bool PcapLiveSource::take_link_type() {
  link_type_ = pcap_datalink(handle_);
  error_ = LinkTypeError(device_, link_type_);
  return error_.empty();
}

// The expression, "ip or ip6" and the fields' rules, in the kernel. A
// refused expression is the user's: its message is the library's, without
// the device.
bool PcapLiveSource::set_kernel_filter() {
  bpf_program program{};
  std::string text = CaptureFilterText(expression_);
  if (!fields_filter_.empty()) text += " and (" + fields_filter_ + ")";
  if (pcap_compile(handle_, &program, text.c_str(), 1, NetmaskOf(device_)) != 0) {
    expression_refused_ = !IsBlankExpression(expression_);
    error_ = expression_refused_ ? pcap_geterr(handle_)
                                 : device_ + ": filter: " + pcap_geterr(handle_);
    return false;
  }
  const bool set = pcap_setfilter(handle_, &program) == 0;
  pcap_freecode(&program);
  if (!set) error_ = device_ + ": filter: " + pcap_geterr(handle_);
  return set;
}

bool PcapLiveSource::make_pollable() {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  if (pcap_setnonblock(handle_, 1, errbuf) == 0 && pcap_get_selectable_fd(handle_) >= 0) {
    return true;
  }
  error_ = device_ + ": cannot wait for datagrams: " + errbuf;
  return false;
}

ReceiveStatus PcapLiveSource::receive(uint8_t* buffer, size_t capacity, size_t& length,
                                      CaptureTime& time) {
  bool device_reported_error = false;
  for (;;) {
    pcap_pkthdr* header = nullptr;
    const u_char* frame = nullptr;
    const int got = pcap_next_ex(handle_, &header, &frame);
    if (got == 1) {
      if (!TakeDatagram(link_type_, *header, frame, buffer, capacity, length, original_)) {
        continue;
      }
      time = FrameTime(handle_, header->ts);
      return ReceiveStatus::kDatagram;
    }
    if (got != 0) {
      error_ = device_ + ": " + pcap_geterr(handle_);
      return ReceiveStatus::kFailed;
    }
    if (device_reported_error) {
      // poll said the device failed, and the library has nothing to read:
      // waiting again would return at once, for ever.
      error_ = device_ + ": the device reports an error";
      return ReceiveStatus::kFailed;
    }
    // Nothing ready: wait for the device or for wake().
    pollfd fds[2] = {{pcap_get_selectable_fd(handle_), POLLIN, 0},
                     {wake_fd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      error_ = ErrnoText("poll", errno);
      return ReceiveStatus::kFailed;
    }
    if (fds[1].revents & POLLIN) {
      eventfd_t count = 0;
      eventfd_read(wake_fd_, &count);
      return ReceiveStatus::kWoken;
    }
    // The device went away or failed: the next read says why.
    device_reported_error = (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
  }
}

void PcapLiveSource::wake() {
  if (wake_fd_ >= 0) eventfd_write(wake_fd_, 1);
}

void PcapLiveSource::close() {
  if (handle_ == nullptr) return;
  pcap_stat stats{};
  if (pcap_stats(handle_, &stats) == 0) {
    drops_.store(stats.ps_drop, std::memory_order_release);
  }
  pcap_close(handle_);
  handle_ = nullptr;
  // A wake that came after the session's last receive is not carried over
  // into the next session.
  eventfd_t count = 0;
  if (wake_fd_ >= 0) eventfd_read(wake_fd_, &count);
}

}  // namespace pw
