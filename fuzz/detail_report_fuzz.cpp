// Decodes arbitrary datagrams into details reports and checks the shape of
// every report. Under ASan the datagram lies in a heap buffer that ends with
// it, so any read past it is caught.
//
// Input layout: a protocol byte (the protocol entry the capture stored), a
// byte of view options (bit 0 TcpDataInAsciiView, bit 1 TcpDataInTextView,
// bit 2 DataInHexViewTcpAndUdp, bit 3: stretch the datagram, see below), two
// bytes of packet index (taken modulo the table size), then the datagram.
// With bit 3 the next three bytes give a shift (its low four bits) and a
// length (up to 65,535), and the datagram's bytes are repeated to the length
// shifted right by the shift, so that datagrams that overflow the report are
// reached from small inputs. The shift makes short datagrams the common case
// (each one costs time in proportion to its length) while every length up
// to the largest stays reachable with a shift of 0.
//
// Seed corpus (corpus/detail_report): datagrams of a loopback capture and
// the built ones of the report's tests, under several view options,
// stretched ones that reach the report's capacity, and the datagrams of
// tools/report-corpus.py, which reach every decoder of the report: TCP and
// IPv4 options, checksums, the datagrams that ICMP errors carry, IGMP v3
// queries and records, cut and bad headers.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

#include "decode/detail_report.h"
#include "engine/capture_store.h"
#include "repeat_bytes.h"
#include "ui/details_selection.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

constexpr size_t kStretchMax = 65535;

// `length` bytes of `data` repeated. They end where one heap block of
// kStretchMax bytes ends, so that ASan catches a read past them; the part
// of the block in front of them is poisoned, as far as ASan's 8-byte
// granules allow. One block for the whole run: a fresh one per input would
// cost page faults, as ASan holds freed blocks back for a while.
const uint8_t* Stretch(const uint8_t* data, size_t size, size_t length) {
  static uint8_t* const block = new uint8_t[kStretchMax];
  uint8_t* const out = block + kStretchMax - length;
  ASAN_UNPOISON_MEMORY_REGION(block, kStretchMax);
  ASAN_POISON_MEMORY_REGION(block, kStretchMax - length);
  pw::fuzz::RepeatBytes(data, size, out, length);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint8_t protocol = data[0];
  const uint8_t options = data[1];
  const uint32_t index = (uint32_t{data[2]} << 8 | data[3]) % pw::kTableEntries;
  data += 4;
  size -= 4;

  if (options & 8) {
    if (size < 3) return 0;
    const size_t length = (size_t{data[1]} << 8 | data[2]) >> (data[0] & 15);
    data += 3;
    size -= 3;
    if (size > 0) {
      data = Stretch(data, size, length);
      size = length;
    }
  }

  pw::PayloadViewFlags flags;
  flags.tcp_ascii = options & 1;
  flags.tcp_text = options & 2;
  flags.tcp_hex = options & 4;

  // One report buffer and one entry list for the whole run: a fresh 40 KiB
  // buffer per input would cost more than the decoding itself, and a fresh
  // list would grow again for every report. The entries themselves are
  // freed at the end of each input, so that libFuzzer does not take them
  // for a leak and run the input again to look for one.
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
  entries.clear();
  return 0;
}
