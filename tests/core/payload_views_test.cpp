#include "decode/payload_views.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "support/detail_test_helpers.h"

namespace pw {
namespace {

using namespace test;

TEST(PayloadViews, AsciiAndHexLineLengths) {
  EXPECT_EQ(PayloadEntries(UdpWithPayload(std::vector<uint8_t>(64, 'a')), kProtoUdp),
            (Entries{"data length = 64", "data in ASCII view:", std::string(64, 'a'), "",
                     "data in HEX view:", Repeat("61 ", 32), Repeat("61 ", 32), ""}));
  std::vector<uint8_t> p65(64, 'b');
  p65.push_back('c');
  const Entries e65 = PayloadEntries(UdpWithPayload(p65), kProtoUdp);
  EXPECT_EQ(e65[2], std::string(64, 'b'));
  EXPECT_EQ(e65[3], "c");
  EXPECT_EQ(e65[4], "data in HEX view:");
  const Entries e33 = PayloadEntries(UdpWithPayload(std::vector<uint8_t>(33, 'b')), kProtoUdp);
  EXPECT_EQ(e33[2], std::string(33, 'b'));
  EXPECT_EQ(e33[4], Repeat("62 ", 32));
  EXPECT_EQ(e33[5], "62 ");
}

TEST(PayloadViews, BytesGoInAsTheyAreZeroShowsNothingHexIsLowercase) {
  EXPECT_EQ(PayloadEntries(UdpWithPayload({0x41, 0x00, 0x42}), kProtoUdp),
            (Entries{"data length = 3", "data in ASCII view:", "AB", "data in HEX view:",
                     "41 00 42 "}));
  EXPECT_EQ(PayloadEntries(UdpWithPayload({0xAB, 0x01, 0x7F, 0x80, 0xFF, '\t'}), kProtoUdp),
            (Entries{"data length = 6", "data in ASCII view:", "\xab\x01\x7f\x80\xff\t",
                     "data in HEX view:", "ab 01 7f 80 ff 09 "}));
  // A zero-only payload still gets its views, with an empty ASCII line.
  EXPECT_EQ(PayloadEntries(UdpWithPayload({0, 0}), kProtoUdp),
            (Entries{"data length = 2", "data in ASCII view:", "", "data in HEX view:",
                     "00 00 "}));
}

TEST(PayloadViews, TcpViewsFollowTheOptions) {
  const std::vector<uint8_t> d = TcpSegment(0x18, {}, {'h', 'i', 0, 'x', '\r', '\n'});
  const Entries text = {"data length = 6", "data in a text view:", "hi"};
  const Entries ascii = {"data length = 6", "data in ASCII view:", "hix", ""};
  const Entries hex = {"data in HEX view:", "68 69 00 78 0d 0a "};
  EXPECT_EQ(PayloadEntries(d, kProtoTcp, kFirstRun), text);  // up to the zero byte
  EXPECT_EQ(PayloadEntries(d, kProtoTcp, kTextAndHex), Plus(text, hex));
  EXPECT_EQ(PayloadEntries(d, kProtoTcp, kAsciiAndHex), Plus(ascii, hex));
  EXPECT_EQ(PayloadEntries(d, kProtoTcp, {true, true, false}), ascii);  // ASCII wins
  EXPECT_EQ(PayloadEntries(d, kProtoTcp, {false, false, true}),
            Plus({"data length = 6"}, hex));
  EXPECT_EQ(PayloadEntries(d, kProtoTcp, kNoViews), (Entries{"data length = 6"}));
  // No payload: the block ends with the flags text.
  EXPECT_EQ(AfterTcpHeader(TcpSegment(0x10), kAsciiAndHex), FlagLines(0, 1, 0, 0, 0, 0));
}

// ---- The report's capacity -------------------------------------------------

struct CutView {
  size_t lines = 0;        // entries between the heading and the cut line
  long long not_shown = -1;  // from the cut line; -1 when the view was whole
};

// Finds the view with `heading` and reads how it ends.
CutView ReadView(const Entries& e, const std::string& heading) {
  CutView view;
  size_t at = 0;
  while (at < e.size() && e[at] != heading) ++at;
  EXPECT_LT(at, e.size()) << heading;
  for (++at; at < e.size(); ++at) {
    long long n = 0;
    if (std::sscanf(e[at].c_str(), "rest of data cut: %lld bytes not shown", &n) == 1) {
      view.not_shown = n;
      break;
    }
    if (e[at].rfind("data in ", 0) == 0 || at + 1 == e.size()) break;
    ++view.lines;
  }
  return view;
}

size_t ReportSize(const std::vector<uint8_t>& d, uint8_t protocol, const PayloadViewFlags& flags) {
  auto text = std::make_unique<ReportText>();
  BuildReportText(ByteView(d.data(), d.size()), protocol, 0, flags, *text);
  EXPECT_EQ(text->view().substr(text->size() - 2), "\r\n");
  return text->size();
}

TEST(ReportCapacity, LargestUdpDatagramShowsTheStartOfBothViews) {
  std::vector<uint8_t> d = UdpWithPayload(std::vector<uint8_t>(65535 - 28, 'a'));
  const size_t payload = d.size() - 28;
  EXPECT_LE(ReportSize(d, kProtoUdp, kFirstRun), kReportCapacity - 1);
  const Entries e = Decode(d, kProtoUdp, 0, kFirstRun);
  EXPECT_EQ(e.back(), "");
  const CutView ascii = ReadView(e, "data in ASCII view:");
  const CutView hex = ReadView(e, "data in HEX view:");
  // Whole lines only, and the cut line counts what is missing.
  EXPECT_GT(ascii.lines, 250u);
  EXPECT_EQ(ascii.lines * 64 + static_cast<size_t>(ascii.not_shown), payload);
  EXPECT_GT(hex.lines, 150u);
  EXPECT_EQ(hex.lines * 32 + static_cast<size_t>(hex.not_shown), payload);
  EXPECT_EQ(e[e.size() - 2], "rest of data cut: " + std::to_string(hex.not_shown) +
                                 " bytes not shown");
  EXPECT_EQ(e[e.size() - 3], Repeat("61 ", 32));
}

TEST(ReportCapacity, ViewsThatFitAreNotCut) {
  // 9,000 payload bytes: both views whole. 10,000: the hex view is cut, the
  // ASCII view (the first of two, within half the room) is not.
  const std::vector<uint8_t> fits = UdpWithPayload(std::vector<uint8_t>(9000, 'z'));
  const Entries e = Decode(fits, kProtoUdp, 0, kFirstRun);
  EXPECT_EQ(ReadView(e, "data in ASCII view:").not_shown, -1);
  EXPECT_EQ(ReadView(e, "data in HEX view:").not_shown, -1);
  EXPECT_EQ(ReadView(e, "data in HEX view:").lines, 282u);  // 281 full lines and 8 bytes

  const std::vector<uint8_t> cut = UdpWithPayload(std::vector<uint8_t>(10000, 'z'));
  const Entries c = Decode(cut, kProtoUdp, 0, kFirstRun);
  EXPECT_EQ(ReadView(c, "data in ASCII view:").not_shown, -1);
  const CutView hex = ReadView(c, "data in HEX view:");
  EXPECT_GT(hex.not_shown, 0);
  EXPECT_EQ(hex.lines * 32 + static_cast<size_t>(hex.not_shown), 10000u);
  EXPECT_LE(ReportSize(cut, kProtoUdp, kFirstRun), kReportCapacity - 1);
}

TEST(ReportCapacity, ZeroBytesCostNothingInTheAsciiView) {
  // 30,000 zero bytes make 469 empty ASCII lines: the view fits whole.
  const std::vector<uint8_t> d = TcpSegment(0x18, {}, std::vector<uint8_t>(30000, 0));
  const Entries e = Decode(d, kProtoTcp, 0, {true, false, false});
  EXPECT_EQ(ReadView(e, "data in ASCII view:").not_shown, -1);
  EXPECT_EQ(Between(e, "data in ASCII view:", "\x01").size(), 1u + 469);
}

TEST(ReportCapacity, TextViewIsCutBehindTheLastLineThatFits) {
  std::string text;
  for (int i = 0; text.size() < 60000; ++i) text += "line " + std::to_string(10000 + i) + "\r\n";
  const std::vector<uint8_t> d = TcpSegment(0x18, {}, std::vector<uint8_t>(text.begin(), text.end()));
  EXPECT_LE(ReportSize(d, kProtoTcp, kFirstRun), kReportCapacity - 1);
  const Entries e = Decode(d, kProtoTcp, 0, kFirstRun);
  const CutView view = ReadView(e, "data in a text view:");
  ASSERT_GT(view.not_shown, 0);
  // Cut behind a carriage return, with or without its line feed.
  const size_t shown = text.size() - static_cast<size_t>(view.not_shown);
  EXPECT_TRUE(shown % 12 == 0 || shown % 12 == 11) << shown;
  EXPECT_EQ((shown + 1) / 12, view.lines);
  EXPECT_EQ(e[e.size() - 3].size(), 10u);  // a whole "line NNNNN"

  // Without line ends the text is cut where the room ends, and its line is
  // ended before the cut line.
  const std::vector<uint8_t> run = TcpSegment(0x18, {}, std::vector<uint8_t>(50000, 'q'));
  const Entries r = Decode(run, kProtoTcp, 0, kFirstRun);
  const CutView one = ReadView(r, "data in a text view:");
  EXPECT_EQ(one.lines, 1u);
  EXPECT_EQ(r[r.size() - 3].size() + static_cast<size_t>(one.not_shown), 50000u);
  EXPECT_LE(ReportSize(run, kProtoTcp, kTextAndHex), kReportCapacity - 1);
}

// ---- The views against their rules, byte by byte -------------------------
// The views are written a whole line at a time; these tests hold them to
// the rule stated per byte, for payloads whose zero bytes, high-bit bytes
// and short last lines fall where the line-at-a-time code branches.

// Each byte but zero as it is, a line end behind every 64th byte.
std::string AsciiRule(const std::vector<uint8_t>& p) {
  std::string s;
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] != 0) s += static_cast<char>(p[i]);
    if ((i + 1) % 64 == 0) s += "\r\n";
  }
  return s;
}

// "%2.2x " per byte, a line end behind every 32nd byte.
std::string HexRule(const std::vector<uint8_t>& p) {
  std::string s;
  for (size_t i = 0; i < p.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%2.2x ", p[i]);
    s += byte;
    if ((i + 1) % 32 == 0) s += "\r\n";
  }
  return s;
}

struct PayloadShape {
  const char* name;
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Pattern(size_t size, uint8_t fill, std::initializer_list<size_t> zeros) {
  std::vector<uint8_t> p(size, fill);
  for (size_t at : zeros) p[at] = 0;
  return p;
}

std::vector<PayloadShape> Shapes() {
  std::vector<uint8_t> values(768);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> high = Pattern(64, 0x80, {});
  high.insert(high.end(), 64, 0x01);
  high.insert(high.end(), 9, 0xFF);
  std::vector<uint8_t> text(5000);
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<uint8_t>(i % 100 == 99 ? 0 : 'a' + i % 26);
  }
  return {
      {"every byte value thrice", values},
      {"zero first and last in each line", Pattern(200, 'a', {0, 63, 64, 127, 128, 191})},
      {"a line of zeros between two lines", Pattern(192, 'b', {64, 65, 66, 67, 68, 69, 70, 71, 72,
                                                               73, 74, 75, 76, 77, 78, 79, 80, 81,
                                                               82, 83, 84, 85, 86, 87, 88, 89, 90,
                                                               91, 92, 93, 94, 95, 96, 97, 98, 99,
                                                               100, 101, 102, 103, 104, 105, 106,
                                                               107, 108, 109, 110, 111, 112, 113,
                                                               114, 115, 116, 117, 118, 119, 120,
                                                               121, 122, 123, 124, 125, 126, 127})},
      {"short last line without a zero", Pattern(101, 'd', {})},
      {"short last line ending in a zero", Pattern(69, 'e', {68})},
      {"only zeros, one short line", Pattern(70, 0, {})},
      {"high bits and ones", high},
      {"one zero byte", {0}},
      {"one high byte", {0x80}},
      {"text with a zero every 100 bytes", text},
  };
}

// The payload part of `p` behind `prefill` characters already in the report.
std::string PayloadText(const std::vector<uint8_t>& p, PayloadKind kind,
                        const PayloadViewFlags& flags, size_t prefill = 0) {
  auto report = std::make_unique<ReportText>();
  report->append(std::string(prefill, 'x'));
  AppendPayloadPart(*report, ByteView(p.data(), p.size()), 0, static_cast<int64_t>(p.size()),
                    kind, flags);
  return std::string(report->view().substr(prefill));
}

std::string LengthLine(size_t size) { return "data length = " + std::to_string(size) + "\r\n"; }

TEST(PayloadViewsByByte, WholeViewsFollowTheRuleForEveryShape) {
  for (const PayloadShape& shape : Shapes()) {
    SCOPED_TRACE(shape.name);
    const std::vector<uint8_t>& p = shape.bytes;
    EXPECT_EQ(PayloadText(p, PayloadKind::kUdp, kNoViews),
              LengthLine(p.size()) + "data in ASCII view:\r\n" + AsciiRule(p) + "\r\n" +
                  "data in HEX view:\r\n" + HexRule(p) + "\r\n");
  }
}

TEST(PayloadViewsByByte, AsciiViewIsWholeWhileItFitsAndCutToWholeLinesOtherwise) {
  const PayloadViewFlags ascii_only{true, false, false};
  const size_t cut_line_max =
      static_cast<size_t>(std::snprintf(nullptr, 0, kViewCutFormat, LLONG_MIN));
  for (const PayloadShape& shape : Shapes()) {
    SCOPED_TRACE(shape.name);
    const std::vector<uint8_t>& p = shape.bytes;
    const std::string head = LengthLine(p.size()) + "data in ASCII view:\r\n";
    const std::string whole = AsciiRule(p) + "\r\n";
    // Just room for the whole view.
    const size_t fits = ReportText::kMaxSize - head.size() - whole.size();
    EXPECT_EQ(PayloadText(p, PayloadKind::kTcp, ascii_only, fits), head + whole);

    // One character less: the whole lines that leave room for the longest
    // cut line, and the cut line (for a view longer than that line).
    if (whole.size() <= cut_line_max) continue;
    const size_t budget = whole.size() - 1 - cut_line_max;
    std::string lines;
    size_t shown = 0;
    for (; shown + 64 <= p.size(); shown += 64) {
      const std::vector<uint8_t> line(p.begin() + static_cast<long>(shown),
                                      p.begin() + static_cast<long>(shown + 64));
      const std::string text = AsciiRule(line);
      if (lines.size() + text.size() > budget) break;
      lines += text;
    }
    EXPECT_EQ(PayloadText(p, PayloadKind::kTcp, ascii_only, fits + 1),
              head + lines + "rest of data cut: " + std::to_string(p.size() - shown) +
                  " bytes not shown\r\n");
  }
}

TEST(PayloadViews, PayloadPastTheStoredBytesShowsEmptyViews) {
  // A payload length that reaches past the stored bytes shows what is
  // there: here nothing, since the payload starts behind them.
  const std::vector<uint8_t> d = {1, 2, 3};
  const auto report = std::make_unique<ReportText>();
  AppendPayloadPart(*report, ByteView(d.data(), d.size()), 5, 4, PayloadKind::kTcp, kTextAndHex);
  EXPECT_EQ(report->view(),
            "data length = 4\r\ndata in a text view:\r\n\r\ndata in HEX view:\r\n\r\n");
  report->clear();
  AppendPayloadPart(*report, ByteView(d.data(), d.size()), 5, 4, PayloadKind::kUdp, kNoViews);
  EXPECT_EQ(report->view(),
            "data length = 4\r\ndata in ASCII view:\r\n\r\ndata in HEX view:\r\n\r\n");
}

}  // namespace
}  // namespace pw
