#include "capture/frame_filter.h"

#include <pcap/pcap.h>

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
