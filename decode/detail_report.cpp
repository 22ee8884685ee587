#include "decode/detail_report.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "capture/filter.h"
#include "decode/icmp_names.h"
#include "decode/tcp_flags.h"

namespace pw {

namespace {

constexpr size_t kUdpHeaderLength = 8;
// The list box scrolls the entry this far below the header line into view
// first, so that the header line is selected with the lines below it shown.
constexpr int kScrollAhead = 7;

int N(uint32_t index) { return static_cast<int>(index); }

// Stored bytes from `offset` to the end; negative when the headers claim
// more than was stored.
int64_t BytesFrom(const ByteView& d, size_t offset) {
  return static_cast<int64_t>(d.size()) - static_cast<int64_t>(offset);
}

void AppendTcpBlock(ReportText& report, const ByteView& d, size_t t, uint32_t index,
                    const PayloadViewFlags& flags) {
  report.AppendFormat("\r\npacket%d tcp\r\n", N(index));
  report.AppendFormat("sourse port = %d\r\n", d.u16(t));
  report.AppendFormat("destination port = %d\r\n", d.u16(t + 2));
  report.AppendFormat("checksum = %d\r\n", d.u16(t + 16));
  // The acknowledgement number comes before the sequence number.
  report.AppendFormat("acknowledgement number = %u\r\n", static_cast<unsigned>(d.u32(t + 8)));
  report.AppendFormat("sequence number = %u\r\n", static_cast<unsigned>(d.u32(t + 4)));
  report.AppendFormat("window size = %d\r\n", d.u16(t + 14));
  AppendTcpFlagsAndMss(report, d, t);
  const size_t payload_offset = t + TcpHeaderLength(d, t);
  AppendPayloadPart(report, d, payload_offset, BytesFrom(d, payload_offset), PayloadKind::kTcp,
                    flags);
}

void AppendUdpBlock(ReportText& report, const ByteView& d, size_t u, uint32_t index,
                    const PayloadViewFlags& flags) {
  // The header line and the two port lines end in a blank; the checksum
  // line does not.
  report.AppendFormat("\r\npacket%d udp \r\n", N(index));
  report.AppendFormat("sourse port = %d \r\n", d.u16(u));
  report.AppendFormat("destination port = %d \r\n", d.u16(u + 2));
  report.AppendFormat("checksum = %d\r\n", d.u16(u + 6));
  const size_t payload_offset = u + kUdpHeaderLength;
  AppendPayloadPart(report, d, payload_offset, BytesFrom(d, payload_offset), PayloadKind::kUdp,
                    flags);
}

void AppendIgmpBlock(ReportText& report, const ByteView& d, size_t g, uint32_t index) {
  const uint8_t first = d.u8(g);
  report.AppendFormat("\r\npacket%d igmp\r\n", N(index));
  report.AppendFormat("version = %d\r\n", first >> 4);
  report.AppendFormat("type = %d\r\n", first & 0x0F);
  report.AppendFormat("cheksum = %d\r\n", d.u16(g + 2));
  report.AppendFormat("group adddress = %s\r\n", DottedAddress(d.u32(g + 4)).text);
}

}  // namespace

void BuildReportText(const ByteView& datagram, uint8_t protocol, uint32_t index,
                     const PayloadViewFlags& flags, ReportText& report) {
  report.Append("packets source:\r\n");
  // The transport header follows the IP header; its length is all that is
  // taken from the IP header. The dispatch goes by the protocol entry the
  // capture stored, not by the header's field.
  const size_t transport = size_t{datagram.u8(0) & 0x0Fu} * 4;
  switch (protocol) {
    case kProtoTcp: AppendTcpBlock(report, datagram, transport, index, flags); break;
    case kProtoUdp: AppendUdpBlock(report, datagram, transport, index, flags); break;
    case kProtoIcmp: AppendIcmpBlock(report, datagram, transport, index); break;
    case kProtoIgmp: AppendIgmpBlock(report, datagram, transport, index); break;
    case kProtoRaw: report.AppendFormat("\r\npacket%d raw\r\n", N(index)); break;
    default: report.AppendFormat("\r\npacket%d unknown\r\n", N(index)); break;
  }
}

void BuildDetailReport(const uint8_t* bytes, size_t length, uint8_t protocol,
                       uint32_t index, const PayloadViewFlags& flags,
                       DetailReport& report) {
  const ByteView datagram(bytes, length);
  // 40 KiB: on the heap, so that the UI thread's stack is not burdened.
  const auto text = std::make_unique<ReportText>();
  BuildReportText(datagram, protocol, index, flags, *text);
  CutIntoEntries(text->view(), report.entries);
  report.fields_past_end = datagram.past_end();

  char header[32];
  std::snprintf(header, sizeof header, "packet%d", N(index));
  report.select_index = FindEntryWithPrefix(report.entries, header);
  if (report.select_index < 0) {
    report.scroll_index = -1;
  } else {
    const int last = static_cast<int>(report.entries.size()) - 1;
    report.scroll_index = std::min(report.select_index + kScrollAhead, last);
  }
}

DecodeResult DecodeSelectedPacket(CaptureStore& store, const PayloadViewFlags& flags,
                                  DetailReport& report) {
  report = DetailReport{};
  if (store.pool_fill.load(std::memory_order_acquire) == 0) return DecodeResult::kNoData;
  if (store.selected_index == -1) store.selected_index = 0;
  if (store.selected_index < 0) return DecodeResult::kNoData;
  const auto index = static_cast<uint32_t>(store.selected_index);
  DatagramLocation where{};
  if (!LocateDatagram(store, index, where)) return DecodeResult::kNoData;
  BuildDetailReport(store.byte_pool + where.offset, where.length, where.protocol, index,
                    flags, report);
  return DecodeResult::kReport;
}

}  // namespace pw
