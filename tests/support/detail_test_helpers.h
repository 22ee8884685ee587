// Building blocks of the details report tests: view options, datagrams
// built around a header, and decoding into entries.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "decode/detail_report.h"
#include "packet/ipv4_header.h"
#include "support/detail_fixtures.h"

namespace pw::test {

using Entries = std::vector<std::string>;

inline std::string Repeat(std::string_view piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

// `head` followed by `rest`, in a buffer of exactly their length.
inline std::vector<uint8_t> Concat(std::initializer_list<uint8_t> head, const std::vector<uint8_t>& rest) {
  std::vector<uint8_t> d(head.size() + rest.size());
  std::copy(head.begin(), head.end(), d.begin());
  std::copy(rest.begin(), rest.end(), d.begin() + static_cast<long>(head.size()));
  return d;
}

inline Entries Plus(Entries a, const Entries& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline constexpr PayloadViewFlags kFirstRun{false, true, false};  // text view, hex only UDP
inline constexpr PayloadViewFlags kAsciiAndHex{true, false, true};
inline constexpr PayloadViewFlags kTextAndHex{false, true, true};
inline constexpr PayloadViewFlags kNoViews{false, false, false};  // settings never loaded

// Stores `fixture` as its packet index behind short filler datagrams and
// decodes it through the store, as the details command does.
inline DetailReport DecodeStored(const Fixture& fixture, const PayloadViewFlags& flags) {
  auto store = std::make_unique<CaptureStore>();
  StoreFiller filler(*store);
  const std::vector<uint8_t> pad = FixtureBytes(test::kRaw);
  for (uint32_t k = 0; k < fixture.index; ++k) filler.add(pad, kProtoRaw);
  filler.add(FixtureBytes(fixture), fixture.protocol);
  DetailReport report;
  EXPECT_EQ(DecodePacket(*store, fixture.index, flags, report), DecodeResult::kReport);
  return report;
}

inline Entries Decode(const std::vector<uint8_t>& bytes, uint8_t protocol, uint32_t index,
               const PayloadViewFlags& flags) {
  DetailReport report;
  BuildDetailReport(bytes.data(), bytes.size(), protocol, index, flags, report);
  return report.entries;
}

inline std::vector<uint8_t> TcpSegment(uint8_t flags, std::vector<uint8_t> options = {},
                                const std::vector<uint8_t>& payload = {}) {
  const auto data_offset = static_cast<uint8_t>((20 + options.size()) / 4 << 4);
  options.insert(options.end(), payload.begin(), payload.end());
  return Concat({0x45, 0, 0, 0, 0, 0, 0, 0, 64, kProtoTcp, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2,
                 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, data_offset, flags, 0, 0, 0, 0, 0, 0},
                options);
}

// The lines that stand between two others: from the first entry that begins
// with `first` up to the next that begins with `end` (or the final empty
// entry).
inline Entries Between(const Entries& e, std::string_view first, std::string_view end) {
  auto begins = [](std::string_view prefix) {
    return [prefix](const std::string& s) { return s.rfind(prefix, 0) == 0; };
  };
  const auto from = std::find_if(e.begin(), e.end(), begins(first));
  if (from == e.end()) return {};
  const auto to = std::find_if(from, e.end() - 1, begins(end));
  return Entries(from, to);
}

// `e` without the lines that Between(e, first, end) finds.
inline Entries Without(Entries e, std::string_view first, std::string_view end) {
  const Entries lines = Between(e, first, end);
  if (lines.empty()) return e;
  const auto from = std::find(e.begin(), e.end(), lines.front());
  e.erase(from, from + static_cast<long>(lines.size()));
  return e;
}

// The entries after the eight header lines and before the final empty one,
// without the lines added behind the flags text and MSS line (from the
// "flags = " line to the payload part).
inline Entries AfterTcpHeader(const std::vector<uint8_t>& d, const PayloadViewFlags& flags = kFirstRun) {
  const Entries e = Without(Decode(d, kProtoTcp, 0, flags), "flags = ", "data length = ");
  return Entries(e.begin() + 9, e.end() - 1);
}

inline Entries FlagLines(bool urg, bool ack, bool psh, bool rst, bool syn, bool fin) {
  auto line = [](const char* name, bool on) { return std::string(name) + (on ? " = True" : " = False"); };
  return {line("URG", urg), line("ACK", ack), line("PSH", psh),
          line("RST", rst), line("SYN", syn), line("FIN", fin)};
}

inline std::vector<uint8_t> UdpWithPayload(const std::vector<uint8_t>& payload) {
  return Concat({0x45, 0, 0, 0, 0, 0, 0, 0, 64, kProtoUdp, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2,
                 0, 1, 0, 2, 0, 0, 0, 0},
                payload);
}

// The entries of the payload part: from the "data length" line on, without
// the final empty entry.
inline Entries PayloadEntries(const std::vector<uint8_t>& d, uint8_t protocol,
                       const PayloadViewFlags& flags = kFirstRun) {
  const Entries e = Decode(d, protocol, 0, flags);
  size_t at = 0;
  while (at < e.size() && e[at].rfind("data length = ", 0) != 0) ++at;
  EXPECT_EQ(e.back(), "");
  return Entries(e.begin() + static_cast<long>(std::min(at, e.size() - 1)), e.end() - 1);
}
// The ICMP entries after the header line up to the added "name = value"
// lines (the specified ones have none), without the final empty entry.
inline Entries IcmpLines(const std::vector<uint8_t>& d) {
  Entries e = Decode(d, kProtoIcmp, 0, kFirstRun);
  EXPECT_EQ(e[2], "packet0 icmp");
  auto to = std::find_if(e.begin() + 3, e.end() - 1,
                         [](const std::string& s) { return s.find(" = ") != std::string::npos; });
  return Entries(e.begin() + 3, to);
}

}  // namespace pw::test
