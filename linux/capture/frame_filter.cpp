#include "capture/frame_filter.h"

#include <pcap/pcap.h>

#include <optional>

#include "packet/link_layer.h"

namespace pw {

namespace {

// The capture library compiles for its own link type numbers; a file says
// 101 for raw IP where the library on Linux says 12.
int LibraryLinkType(int link_type) {
  return link_type == kLinkRawFile ? kLinkRaw : link_type;
}

}  // namespace

bool IsBlankExpression(std::string_view expression) {
  return expression.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::string CaptureFilterText(std::string_view expression) {
  if (IsBlankExpression(expression)) return "ip or ip6";
  return "(" + std::string(expression) + ") and (ip or ip6)";
}

namespace {

// An address test and the families of the datagrams it can take.
struct AddressTestText {
  std::string text;  // empty: every address
  bool ipv4 = true;
  bool ipv6 = true;
};

// "src host 10.0.0.1", "dst host ::1"; empty for an address text that
// matches nothing.
std::string HostTest(const char* direction, const AddressKey& key) {
  if (!key.matchable) return {};
  return std::string(direction) + " host " + std::string(FormatIpAddress(key.address).view());
}

// "src host A and dst host B", empty when either matches nothing or the
// two are of different families (no datagram has both).
std::string PairTest(const AddressKey& source, const AddressKey& destination) {
  if (source.address.family != destination.address.family) return {};
  const std::string from = HostTest("src", source);
  const std::string to = HostTest("dst", destination);
  return from.empty() || to.empty() ? std::string() : from + " and " + to;
}

bool IsIpv6(const AddressKey& key) { return key.address.family == IpFamily::kV6; }

// The address rule; nullopt when it takes nothing.
std::optional<AddressTestText> AddressTest(const FilterSettings& f) {
  const bool from_any = f.from.mode == AddressMode::kAny;
  const bool to_any = f.to.mode == AddressMode::kAny;
  if (from_any && to_any) return AddressTestText{};
  AddressTestText test;
  if (from_any || to_any) {
    const AddressKey& key = from_any ? f.to.key : f.from.key;
    test.text = HostTest(from_any ? "dst" : "src", key);
    test.ipv4 = !IsIpv6(key);
    test.ipv6 = IsIpv6(key);
  } else {
    const std::string forward = PairTest(f.from.key, f.to.key);
    const std::string reverse = PairTest(f.reverse_source_key, f.reverse_destination_key);
    test.ipv4 = (!forward.empty() && !IsIpv6(f.from.key)) ||
                (!reverse.empty() && !IsIpv6(f.reverse_source_key));
    test.ipv6 = (!forward.empty() && IsIpv6(f.from.key)) ||
                (!reverse.empty() && IsIpv6(f.reverse_source_key));
    test.text = forward;
    if (!reverse.empty()) {
      test.text = test.text.empty() ? reverse : "(" + test.text + ") or (" + reverse + ")";
    }
  }
  if (test.text.empty()) return std::nullopt;
  return test;
}

}  // namespace

std::string FieldsFilterText(const FilterSettings& fields) {
  const std::optional<AddressTestText> address = AddressTest(fields);
  if (!address) return {};
  std::string protocols;
  bool ipv6 = false;
  for (const StoredProtocol& p : kStoredProtocols) {
    if (!(fields.protocols.*p.switched_on)) continue;
    ipv6 = ipv6 || p.ipv6;
    if (!p.ipv4 || !address->ipv4) continue;
    std::string test = "ip proto " + std::to_string(p.number);
    if (p.has_ports && fields.from.port != 0) test += " and src port " + std::to_string(fields.from.port);
    if (p.has_ports && fields.to.port != 0) test += " and dst port " + std::to_string(fields.to.port);
    protocols += (protocols.empty() ? "(" : " or (") + test + ")";
  }
  // An IPv6 datagram's upper layer may lie behind extension headers, which
  // the library's "ip6 proto" and "port" do not walk: IPv6 is taken
  // whole, and the session's filter decides.
  if (ipv6 && address->ipv6) protocols += protocols.empty() ? "(ip6)" : " or (ip6)";
  if (protocols.empty()) return {};
  return address->text.empty() ? protocols : "(" + address->text + ") and (" + protocols + ")";
}

FrameFilter::FrameFilter() = default;

FrameFilter::~FrameFilter() {
  if (program_) pcap_freecode(program_.get());
}

bool FrameFilter::compile(std::string_view expression, int link_type, int snapshot) {
  if (program_) pcap_freecode(program_.get());
  program_.reset();
  error_.clear();
  if (IsBlankExpression(expression)) return true;
  pcap_t* dead = pcap_open_dead(LibraryLinkType(link_type), snapshot);
  if (dead == nullptr) {
    error_ = "cannot compile the expression for this link type";
    return false;
  }
  auto program = std::make_unique<bpf_program>();
  const std::string text = CaptureFilterText(expression);
  if (pcap_compile(dead, program.get(), text.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
    error_ = pcap_geterr(dead);
  } else {
    program_ = std::move(program);
  }
  pcap_close(dead);
  return error_.empty();
}

bool FrameFilter::passes(const uint8_t* frame, size_t captured, size_t original) const {
  if (!program_) return true;
  pcap_pkthdr header{};
  header.caplen = static_cast<bpf_u_int32>(captured);
  header.len = static_cast<bpf_u_int32>(original);
  return pcap_offline_filter(program_.get(), &header, frame) != 0;
}

ExpressionSelector::ExpressionSelector(std::string expression)
    : expression_(std::move(expression)) {}

bool ExpressionSelector::prepare(int link_type) {
  current_ = nullptr;
  for (const auto& [type, filter] : filters_) {
    if (type == link_type) current_ = filter.get();
  }
  if (current_ != nullptr) return true;
  // Any snapshot length above every record's: the filter's verdict is
  // only ever taken as pass or fail.
  auto filter = std::make_unique<FrameFilter>();
  if (!filter->compile(expression_, link_type, static_cast<int>(kMaxRecordBytes))) {
    error_ = filter->error();
    return false;
  }
  current_ = filter.get();
  filters_.emplace_back(link_type, std::move(filter));
  return true;
}

bool ExpressionSelector::takes(const CaptureFrame& frame) {
  return current_ != nullptr && current_->passes(frame.bytes, frame.captured, frame.original);
}

}  // namespace pw
