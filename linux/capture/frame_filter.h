// Frame filter (Linux, over the capture library): a capture expression in
// the library's filter syntax, compiled for one link type and applied to
// whole link-layer frames one by one, as a file is read. It needs no open
// capture handle, so any reader of capture files can use it: it takes the
// file's link type and snapshot length, and each frame's captured bytes and
// original length.
//
// Only IPv4 is taken: the expression is combined with "ip" (see
// CaptureFilterText). ExpressionSelector hands the filter to the portable
// capture-file reader, compiled for each link type a file has. Threads:
// compile, then passes, on one thread; the selector on the reader's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/filter.h"
#include "files/capture_file_reader.h"

struct bpf_program;  // the capture library's compiled filter

namespace pw {

// True for an empty expression or one of blanks only: no expression.
bool IsBlankExpression(std::string_view expression);

// The filter text for an expression: "ip" alone for an empty (or blank)
// expression, else "(EXPRESSION) and ip". The expression comes first, so
// that its "vlan" or "mpls" shifts the offsets at which "ip" looks.
std::string CaptureFilterText(std::string_view expression);

// The rules of the session's filter fields (FilterSettings: the address
// rule, the protocol switches and the port rule) in the library's filter
// syntax, for a live capture's kernel filter: a datagram that the session
// would refuse stays in the kernel and never wakes the capture. It takes
// every datagram that the session's filter takes (which still decides);
// empty when it would refuse nothing the session's filter refuses, or
// when the fields name an address that matches nothing.
std::string FieldsFilterText(const FilterSettings& fields);

class FrameFilter {
 public:
  FrameFilter();
  ~FrameFilter();
  FrameFilter(const FrameFilter&) = delete;
  FrameFilter& operator=(const FrameFilter&) = delete;

  // Compiles CaptureFilterText(expression) for frames of `link_type` (a
  // capture-library link type number; the file number of raw IP is taken
  // too) cut to `snapshot` bytes. An empty expression compiles nothing:
  // every frame passes, and the reader's own link-layer rules decide. False
  // with the library's message in error() when the expression is refused.
  bool compile(std::string_view expression, int link_type, int snapshot);

  // True when the frame passes the expression. `captured` bytes of it are
  // at `frame`; `original` is its length on the wire.
  bool passes(const uint8_t* frame, size_t captured, size_t original) const;

  const std::string& error() const { return error_; }

 private:
  std::unique_ptr<bpf_program> program_;  // null: every frame passes
  std::string error_;
};

// A capture expression as the capture-file reader's record selector: the
// expression is compiled for a link type when the reader first prepares
// for it, and kept for the rest of the reading (a pcapng file may mix
// link types). A blank expression takes every frame.
class ExpressionSelector final : public RecordSelector {
 public:
  explicit ExpressionSelector(std::string expression);

  // False, with the capture library's message in error(), when the
  // expression is refused for frames of `link_type`.
  bool prepare(int link_type) override;
  bool takes(const CaptureFrame& frame) override;
  const std::string& error() const override { return error_; }

 private:
  const std::string expression_;
  std::vector<std::pair<int, std::unique_ptr<FrameFilter>>> filters_;
  const FrameFilter* current_ = nullptr;
  std::string error_;
};

}  // namespace pw
