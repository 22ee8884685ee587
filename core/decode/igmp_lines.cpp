#include "decode/igmp_lines.h"

#include "packet/ipv4_header.h"

namespace pw {

namespace {

constexpr uint8_t kQuery = 0x11;
constexpr uint8_t kV1Report = 0x12;
constexpr uint8_t kV2Report = 0x16;
constexpr uint8_t kV2Leave = 0x17;
constexpr uint8_t kV3Report = 0x22;
constexpr int64_t kV1V2Length = 8;
constexpr int64_t kV3QueryMin = 12;
constexpr size_t kChecksumAt = 2;
constexpr size_t kRecordHeader = 8;  // type, aux length, sources, address

const char* MessageName(uint8_t type, uint8_t max_response, int64_t length) {
  switch (type) {
    case kQuery:
      if (length >= kV3QueryMin) return "v3 membership query";
      if (length == kV1V2Length) {
        return max_response == 0 ? "v1 membership query" : "v2 membership query";
      }
      return "membership query of bad length";
    case kV1Report: return "v1 membership report";
    case kV2Report: return "v2 membership report";
    case kV2Leave: return "v2 leave group";
    case kV3Report: return "v3 membership report";
    default: return nullptr;
  }
}

const char* RecordTypeName(uint8_t type) {
  switch (type) {
    case 1: return "mode is include";
    case 2: return "mode is exclude";
    case 3: return "change to include mode";
    case 4: return "change to exclude mode";
    case 5: return "allow new sources";
    case 6: return "block old sources";
    default: return "unknown";
  }
}

// A v3 max response code of 128 or more is a floating-point value: 3 bits
// of exponent, 4 of mantissa.
unsigned MaxResponseTenths(uint8_t code, bool v3) {
  if (!v3 || code < 128) return code;
  return (0x10u | (code & 0x0Fu)) << ((code >> 4 & 0x07u) + 3);
}

// `count` sources from `at` of the datagram (all stored), at most
// kIgmpSourcesShown of them.
void AppendSources(ReportText& report, const ByteView& d, size_t at, unsigned count,
                   const char* name) {
  for (unsigned k = 0; k < count && k < kIgmpSourcesShown; ++k) {
    report.append_format("%s = %s\r\n", name, FormatDottedQuad(d.u32(at + 4 * k)).text);
  }
  if (count > kIgmpSourcesShown) {
    report.append_format("further sources not shown: %u\r\n", count - kIgmpSourcesShown);
  }
}

bool AppendQueryV3(ReportText& report, const ByteView& d, HeaderCut& igmp) {
  const size_t g = igmp.start();
  if (!igmp.has(8, 4)) return false;
  const uint8_t flags = d.u8(g + 8);
  const unsigned count = d.u16(g + 10);
  report.append_format("suppress router processing = %u\r\n", flags >> 3 & 1u);
  report.append_format("querier robustness variable = %u\r\n", flags & 7u);
  report.append_format("querier query interval code = %u\r\n", unsigned{d.u8(g + 9)});
  report.append_format("number of sources = %u\r\n", count);
  igmp.set_needed(12 + size_t{count} * 4);
  if (!igmp.has(12, size_t{count} * 4)) return false;
  AppendSources(report, d, g + 12, count, "source");
  return true;
}

bool AppendReportV3(ReportText& report, const ByteView& d, HeaderCut& igmp) {
  const size_t g = igmp.start();
  const unsigned records = d.u16(g + 6);
  report.append_format("number of group records = %u\r\n", records);
  size_t at = 8;
  for (unsigned k = 0; k < records; ++k) {
    if (k == kIgmpRecordsShown) {
      report.append_format("further group records not shown: %u\r\n", records - k);
      return true;
    }
    igmp.set_needed(at + kRecordHeader);
    if (!igmp.has(at, kRecordHeader)) return false;
    const uint8_t type = d.u8(g + at);
    const size_t aux = size_t{d.u8(g + at + 1)} * 4;
    const unsigned sources = d.u16(g + at + 2);
    report.append_format("record type = %u (%s)\r\n", unsigned{type}, RecordTypeName(type));
    report.append_format("record multicast address = %s\r\n",
                         FormatDottedQuad(d.u32(g + at + 4)).text);
    report.append_format("record number of sources = %u\r\n", sources);
    const size_t end = at + kRecordHeader + size_t{sources} * 4 + aux;
    igmp.set_needed(end);
    if (!igmp.has(at, end - at)) return false;
    AppendSources(report, d, g + at + kRecordHeader, sources, "record source");
    at = end;
  }
  return true;
}

}  // namespace

void AppendIgmpLines(ReportText& report, const ByteView& d, HeaderCut& igmp,
                     const ChecksumCover& cover) {
  const size_t g = igmp.start();
  const uint8_t type = d.u8(g);
  const uint8_t max_response = d.u8(g + 1);
  const char* name = MessageName(type, max_response, cover.length);
  if (name != nullptr) {
    report.append_format("message = %s\r\n", name);
  } else {
    report.append_format("message = type 0x%02x\r\n", unsigned{type});
  }
  const bool query_v3 = type == kQuery && cover.length >= kV3QueryMin;
  // Version 1 messages and v3 reports have no max response field.
  const bool has_max_response =
      type == kV2Report || type == kV2Leave || (type == kQuery && max_response != 0) || query_v3;
  if (has_max_response) {
    const unsigned tenths = MaxResponseTenths(max_response, query_v3);
    report.append_format("max response time = %u (%u.%u s)\r\n", tenths, tenths / 10,
                         tenths % 10);
  }
  if (query_v3 && !AppendQueryV3(report, d, igmp)) return;
  if (type == kV3Report && !AppendReportV3(report, d, igmp)) return;
  AppendChecksumVerdict(report, d, "igmp", g + kChecksumAt, g, cover.length, 0);
}

}  // namespace pw
