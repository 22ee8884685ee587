// The options of the popup menu in the real dialog: their check and grey
// states at every opening, and their effect on the next details report.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "decode/detail_report.h"
#include "windows/gui_fixture.h"

namespace pw::test {
namespace {

// The options' items, and their state as the opened menu shows it: 'x'
// checked, 'g' greyed, '-' neither.
constexpr UINT kItems[] = {IDM_SAVE_PREFERENCES, IDM_FLIP_TO_TRAY,  IDM_TRAY_ICON_ANIME,
                           IDM_HEX_ONLY_UDP,     IDM_HEX_TCP_AND_UDP, IDM_TCP_TEXT_VIEW,
                           IDM_TCP_ASCII_VIEW};

std::string States(HMENU menu) {
  std::string states;
  for (const UINT id : kItems) {
    const UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
    states += (state & MF_GRAYED) ? 'g' : (state & MF_CHECKED) ? 'x' : '-';
  }
  return states;
}

// The states of a freshly loaded menu after the dialog's opening rules.
std::string MenuStates(const RunningDialog& d) {
  HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_POPUP_MENU));
  HMENU popup = GetSubMenu(menu, 0);
  SendMessageA(d.hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
  const std::string states = States(popup);
  DestroyMenu(menu);
  return states;
}

TEST(Options, CheckAndGreyStatesFollowEveryCommand) {
  struct Case {
    const char* name;
    std::string settings;
    std::vector<int> commands;
    std::string states;  // 125 118 123 119 122 120 121
  };
  const std::string anime_off =
      "[Config]\r\nEnableFlipToTray=No\r\nEnableTrayIconAnime=Yes\r\n";
  const Case cases[] = {
      {"all off", kPreferencesOff, {}, "--g----"},
      {"first-run values", kAllOptionsOn, {}, "xxxx-x-"},
      {"anime greyed while flip is off, even when set", anime_off, {}, "x-gx-x-"},
      {"flip off clears anime; on again leaves it off", kAllOptionsOn,
       {IDM_FLIP_TO_TRAY, IDM_FLIP_TO_TRAY}, "xx-x-x-"},
      {"both clear: only UDP", kPreferencesOff, {IDM_HEX_ONLY_UDP}, "--gx---"},
      {"both clear: TCP and UDP", kPreferencesOff, {IDM_HEX_TCP_AND_UDP}, "--g-x--"},
      {"the checked text mode moves to ASCII", kAllOptionsOn, {IDM_TCP_TEXT_VIEW}, "xxxx--x"},
      {"the unchecked ASCII mode takes the check", kAllOptionsOn, {IDM_TCP_ASCII_VIEW}, "xxxx--x"},
      {"the checked only UDP moves", kAllOptionsOn, {IDM_HEX_ONLY_UDP}, "xxx-xx-"},
      {"preferences off", kAllOptionsOn, {IDM_SAVE_PREFERENCES}, "-xxx-x-"},
      {"anime off", kAllOptionsOn, {IDM_TRAY_ICON_ANIME}, "xx-x-x-"},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.folder.write_ini(c.settings);
    RunningDialog d(f.setup());
    for (const int command : c.commands) d.command(command);
    EXPECT_EQ(MenuStates(d), c.states) << c.name;
  }
}

TEST(Options, TheOpenedMenuShowsTheStates) {
  Fixture f;
  f.folder.write_ini(kAllOptionsOn);
  RunningDialog d(f.setup());
  d.command(IDM_TRAY_ICON_ANIME);
  PostMessageA(d.hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(d.hwnd()), MAKELPARAM(-1, -1));
  HWND window = WaitForMenu();
  ASSERT_NE(window, nullptr);
  HMENU shown = reinterpret_cast<HMENU>(SendMessageA(window, MN_GETHMENU, 0, 0));
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(States(shown), "xx-x-x-");
  EXPECT_TRUE(CloseMenu(window));
  // The next opening starts from the resource again and shows the new state.
  d.command(IDM_FLIP_TO_TRAY);
  PostMessageA(d.hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(d.hwnd()), MAKELPARAM(-1, -1));
  window = WaitForMenu();
  ASSERT_NE(window, nullptr);
  shown = reinterpret_cast<HMENU>(SendMessageA(window, MN_GETHMENU, 0, 0));
  EXPECT_EQ(States(shown), "x-gx-x-");
  EXPECT_TRUE(CloseMenu(window));
}

TEST(Options, ViewOptionsChangeTheNextReportOnly) {
  Fixture f;
  f.folder.write_ini(kAllOptionsOn);
  f.source.add(MakeDatagram({.protocol = 6, .source = "10.0.0.1", .destination = "10.0.0.2",
                             .source_port = 80, .destination_port = 4000, .ttl = 64,
                             .payload_length = 24}));
  f.source.set_at_end(ScriptedSource::AtEnd::kBlock);
  RunningDialog d(f.setup());
  ASSERT_TRUE(CaptureAll(d, f.source, 1));
  auto report = [&] {
    d.command(IDM_DETAILS);
    return ListEntries(GetDlgItem(d.program().details_window(), IDC_DETAILS_LIST));
  };
  auto decoded = [&](const PayloadViewFlags& flags) {
    DetailReport r;
    DecodePacket(d.store(), 0, flags, r);
    return r.entries;
  };
  const std::vector<std::string> text_view = report();
  EXPECT_EQ(text_view, decoded({.tcp_ascii = false, .tcp_text = true, .tcp_hex = false}));

  d.command(IDM_TCP_ASCII_VIEW);
  HWND list = GetDlgItem(d.program().details_window(), IDC_DETAILS_LIST);
  EXPECT_EQ(ListEntries(list), text_view) << "an open window is not refreshed";
  const std::vector<std::string> ascii_view = report();
  EXPECT_EQ(ascii_view, decoded({.tcp_ascii = true, .tcp_text = false, .tcp_hex = false}));
  EXPECT_NE(ascii_view, text_view);

  d.command(IDM_HEX_TCP_AND_UDP);
  const std::vector<std::string> with_hex = report();
  EXPECT_EQ(with_hex, decoded({.tcp_ascii = true, .tcp_text = false, .tcp_hex = true}));
  EXPECT_GT(with_hex.size(), ascii_view.size());
}

}  // namespace
}  // namespace pw::test
