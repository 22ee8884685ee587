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
  if (IsBlankExpression(expression)) return "ip";
  return "(" + std::string(expression) + ") and ip";
}

namespace {

// "src host 10.0.0.1"; empty for an address text that matches nothing.
std::string HostTest(const char* direction, const AddressKey& key) {
  if (!key.matchable) return {};
  return std::string(direction) + " host " + FormatDottedQuad(key.address).text;
}

// "src host A and dst host B", empty when either matches nothing.
std::string PairTest(const AddressKey& source, const AddressKey& destination) {
  const std::string from = HostTest("src", source);
  const std::string to = HostTest("dst", destination);
  return from.empty() || to.empty() ? std::string() : from + " and " + to;
}

// The address rule; nullopt when it takes nothing.
std::optional<std::string> AddressTest(const FilterSettings& f) {
  const bool from_any = f.from.mode == AddressMode::kAny;
  const bool to_any = f.to.mode == AddressMode::kAny;
  if (from_any && to_any) return std::string();
  std::string test;
  if (from_any) {
    test = HostTest("dst", f.to.key);
  } else if (to_any) {
    test = HostTest("src", f.from.key);
  } else {
    test = PairTest(f.from.key, f.to.key);
    const std::string reverse = PairTest(f.reverse_source_key, f.reverse_destination_key);
    if (!reverse.empty()) test = test.empty() ? reverse : "(" + test + ") or (" + reverse + ")";
  }
  if (test.empty()) return std::nullopt;
  return test;
}

}  // namespace

std::string FieldsFilterText(const FilterSettings& fields) {
  const std::optional<std::string> address = AddressTest(fields);
  if (!address) return {};
  std::string protocols;
  for (const StoredProtocol& p : kStoredProtocols) {
    if (!(fields.protocols.*p.switched_on)) continue;
    std::string test = "ip proto " + std::to_string(p.number);
    if (p.has_ports && fields.from.port != 0) test += " and src port " + std::to_string(fields.from.port);
    if (p.has_ports && fields.to.port != 0) test += " and dst port " + std::to_string(fields.to.port);
    protocols += (protocols.empty() ? "(" : " or (") + test + ")";
  }
  if (protocols.empty()) return {};
  return address->empty() ? protocols : "(" + *address + ") and (" + protocols + ")";
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
