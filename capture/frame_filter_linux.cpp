#include "capture/frame_filter.h"

#include <pcap/pcap.h>

#include "capture/link_layer.h"

namespace pw {

namespace {

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The capture library compiles for its own link type numbers; a file says
// 101 for raw IP where the library on Linux says 12.
int LibraryLinkType(int link_type) {
  return link_type == kLinkRawFile ? kLinkRaw : link_type;
}

}  // namespace

std::string CaptureFilterText(std::string_view expression) {
  if (IsBlank(expression)) return "ip";
  return "(" + std::string(expression) + ") and ip";
}

FrameFilter::FrameFilter() = default;

FrameFilter::~FrameFilter() {
  if (program_) pcap_freecode(program_.get());
}

bool FrameFilter::compile(std::string_view expression, int link_type, int snapshot) {
  if (program_) pcap_freecode(program_.get());
  program_.reset();
  error_.clear();
  if (IsBlank(expression)) return true;
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

}  // namespace pw
