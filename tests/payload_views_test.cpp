#include "decode/payload_views.h"

#include <gtest/gtest.h>

#include "tests/detail_test_helpers.h"

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
  EXPECT_EQ(e.size(), 9u + 6 + 2 + 469 + 1);
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

}  // namespace
}  // namespace pw
