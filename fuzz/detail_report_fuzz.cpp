// Decodes arbitrary datagrams into details reports and checks the shape of
// every report. Under ASan the datagram lies in a heap buffer of exactly its
// length, so any read past it is caught.
//
// Input layout: a protocol byte (the protocol entry the capture stored), a
// byte of view options (bit 0 TcpDataInAsciiView, bit 1 TcpDataInTextView,
// bit 2 DataInHexViewTcpAndUdp, bit 3: stretch the datagram, see below), two
// bytes of packet index (taken modulo the table size), then the datagram.
// With bit 3 the next two bytes give a length (up to 65,535) to which the
// datagram's bytes are repeated, so that datagrams that overflow the report
// are reached from small inputs.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_store.h"
#include "app/details_selection.h"
#include "decode/detail_report.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint8_t protocol = data[0];
  const uint8_t options = data[1];
  const uint32_t index = (uint32_t{data[2]} << 8 | data[3]) % pw::kTableEntries;
  data += 4;
  size -= 4;

  std::vector<uint8_t> stretched;
  if (options & 8) {
    if (size < 2) return 0;
    const size_t length = size_t{data[0]} << 8 | data[1];
    data += 2;
    size -= 2;
    if (size > 0) {
      // Exactly `length` bytes: the input repeated, doubled with memcpy
      // (a byte loop here would cost more than the decoding).
      stretched.resize(length);
      size_t filled = size < length ? size : length;
      if (filled > 0) std::memcpy(stretched.data(), data, filled);
      while (filled < length) {
        const size_t more = filled < length - filled ? filled : length - filled;
        std::memcpy(stretched.data() + filled, stretched.data(), more);
        filled += more;
      }
      data = stretched.data();
      size = length;
    }
  }

  pw::PayloadViewFlags flags;
  flags.tcp_ascii = options & 1;
  flags.tcp_text = options & 2;
  flags.tcp_hex = options & 4;

  // One report buffer and one entry list for the whole run: a fresh 40 KiB
  // buffer per input would cost more than the decoding itself.
  static const auto text = std::make_unique<pw::ReportText>();
  static std::vector<std::string> entries;
  text->clear();
  const pw::ByteView datagram(data, size);
  pw::BuildReportText(datagram, protocol, index, flags, *text);
  Check(text->size() <= pw::kReportCapacity - 1);
  Check(text->view().size() >= 2 && text->view().substr(text->size() - 2) == "\r\n");

  pw::CutIntoEntries(text->view(), entries);
  const auto& e = entries;
  Check(e.size() >= 4);
  Check(e[0] == "packets source:");
  Check(e[1].empty());
  Check(e[2].rfind("packet" + std::to_string(index) + " ", 0) == 0);
  Check(e.back().empty());
  const pw::DetailsSelection selection = pw::SelectHeaderLine(e, index);
  Check(selection.select_index == 2);
  Check(selection.scroll_index == std::min<int>(9, static_cast<int>(e.size()) - 1));
  size_t total = 0;
  for (const std::string& entry : e) {
    Check(entry.find('\0') == std::string::npos);
    total += entry.size();
  }
  Check(total <= text->size());
  return 0;
}
