#include "ui/option_commands.h"

#include <gtest/gtest.h>

namespace pw {
namespace {

TEST(FlagOptions, PairsMoveTheCheckAndStayComplementary) {
  struct Case {
    bool only_udp, tcp_and_udp;  // before
    FlagOption option;
    bool after_only_udp, after_tcp_and_udp;
  };
  const Case cases[] = {
      {false, false, FlagOption::kHexOnlyUdp, true, false},  // both clear: the chosen one
      {false, false, FlagOption::kHexTcpAndUdp, false, true},
      {true, false, FlagOption::kHexOnlyUdp, false, true},    // the checked one: to the partner
      {true, false, FlagOption::kHexTcpAndUdp, false, true},  // the unchecked one: to it
      {false, true, FlagOption::kHexTcpAndUdp, true, false},
      {false, true, FlagOption::kHexOnlyUdp, true, false},
  };
  for (const Case& c : cases) {
    SettingsRecord r;
    r.DataInHexViewOnlyUdp = c.only_udp;
    r.DataInHexViewTcpAndUdp = c.tcp_and_udp;
    ApplyFlagOption(r, c.option);
    EXPECT_EQ(r.DataInHexViewOnlyUdp, c.after_only_udp) << static_cast<int>(c.option);
    EXPECT_EQ(r.DataInHexViewTcpAndUdp, c.after_tcp_and_udp) << static_cast<int>(c.option);
  }
  SettingsRecord r;
  r.TcpDataInTextView = true;
  ApplyFlagOption(r, FlagOption::kTcpTextView);
  EXPECT_FALSE(r.TcpDataInTextView);
  EXPECT_TRUE(r.TcpDataInAsciiView) << "the checked text mode moves to ASCII mode";
  ApplyFlagOption(r, FlagOption::kTcpTextView);
  EXPECT_TRUE(r.TcpDataInTextView);
  EXPECT_FALSE(r.TcpDataInAsciiView);
  ApplyFlagOption(r, FlagOption::kTcpAsciiView);
  EXPECT_TRUE(r.TcpDataInAsciiView);
  EXPECT_FALSE(r.TcpDataInTextView);
}

TEST(FlagOptions, SavePreferencesTogglesAndLeavesTheOtherFlags) {
  SettingsRecord r;
  ApplyFlagOption(r, FlagOption::kSaveSessionPreferences);
  EXPECT_TRUE(r.SaveSessionPreferences);
  ApplyFlagOption(r, FlagOption::kSaveSessionPreferences);
  EXPECT_FALSE(r.SaveSessionPreferences);
  EXPECT_FALSE(r.EnableFlipToTray || r.EnableTrayIconAnime || r.DataInHexViewOnlyUdp ||
               r.DataInHexViewTcpAndUdp || r.TcpDataInTextView || r.TcpDataInAsciiView);
}

TEST(SettingsRecord, ThreeFlagsChooseTheReportsPayloadViews) {
  SettingsRecord settings;
  settings.TcpDataInAsciiView = true;
  settings.DataInHexViewTcpAndUdp = true;
  settings.DataInHexViewOnlyUdp = true;  // read by nobody here
  const PayloadViewFlags flags = PayloadViewFlagsOf(settings);
  EXPECT_TRUE(flags.tcp_ascii);
  EXPECT_FALSE(flags.tcp_text);
  EXPECT_TRUE(flags.tcp_hex);
}

}  // namespace
}  // namespace pw
