#include "app/option_commands.h"

#include <gtest/gtest.h>

#include "res/resource.h"

namespace pw {
namespace {

TEST(FlagOptions, PairsMoveTheCheckAndStayComplementary) {
  struct Case {
    bool only_udp, tcp_and_udp;  // before
    int id;
    bool after_only_udp, after_tcp_and_udp;
  };
  const Case cases[] = {
      {false, false, IDM_HEX_ONLY_UDP, true, false},     // both clear: the chosen one
      {false, false, IDM_HEX_TCP_AND_UDP, false, true},
      {true, false, IDM_HEX_ONLY_UDP, false, true},      // the checked one: to the partner
      {true, false, IDM_HEX_TCP_AND_UDP, false, true},   // the unchecked one: to it
      {false, true, IDM_HEX_TCP_AND_UDP, true, false},
      {false, true, IDM_HEX_ONLY_UDP, true, false},
  };
  for (const Case& c : cases) {
    SettingsRecord r;
    r.DataInHexViewOnlyUdp = c.only_udp;
    r.DataInHexViewTcpAndUdp = c.tcp_and_udp;
    ASSERT_TRUE(ApplyFlagOption(r, c.id));
    EXPECT_EQ(r.DataInHexViewOnlyUdp, c.after_only_udp) << c.id;
    EXPECT_EQ(r.DataInHexViewTcpAndUdp, c.after_tcp_and_udp) << c.id;
  }
  SettingsRecord r;
  r.TcpDataInTextView = true;
  ApplyFlagOption(r, IDM_TCP_TEXT_VIEW);
  EXPECT_FALSE(r.TcpDataInTextView);
  EXPECT_TRUE(r.TcpDataInAsciiView) << "the checked text mode moves to ASCII mode";
  ApplyFlagOption(r, IDM_TCP_TEXT_VIEW);
  EXPECT_TRUE(r.TcpDataInTextView);
  EXPECT_FALSE(r.TcpDataInAsciiView);
}

TEST(FlagOptions, SavePreferencesTogglesAndOthersAreLeft) {
  SettingsRecord r;
  EXPECT_TRUE(ApplyFlagOption(r, IDM_SAVE_PREFERENCES));
  EXPECT_TRUE(r.SaveSessionPreferences);
  EXPECT_TRUE(ApplyFlagOption(r, IDM_SAVE_PREFERENCES));
  EXPECT_FALSE(r.SaveSessionPreferences);
  for (int id : {IDM_FLIP_TO_TRAY, IDM_TRAY_ICON_ANIME, IDM_DETAILS, 0}) {
    EXPECT_FALSE(ApplyFlagOption(r, id));
  }
  EXPECT_FALSE(r.EnableFlipToTray || r.EnableTrayIconAnime);
}

}  // namespace
}  // namespace pw
