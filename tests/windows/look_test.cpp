// The dialogs' look read back from the real dialogs: the label colours and
// brushes that WM_CTLCOLORSTATIC hands out, the logo tile behind the about
// text, the tooltips, and the list's columns under their captions.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "gui/dialog_capture_view.h"
#include "gui/main_dialog_tooltips.h"
#include "shell/look.h"
#include "shell/tooltips.h"
#include "windows/gui_fixture.h"

namespace pw::test {
namespace {

// What a dialog's WM_CTLCOLORSTATIC did to a device context.
struct StaticColours {
  HBRUSH brush;
  COLORREF text;
  int background_mode;
};

StaticColours ColoursOf(HWND dialog, HWND control) {
  HDC dc = CreateCompatibleDC(nullptr);
  SetTextColor(dc, RGB(1, 2, 3));
  SetBkMode(dc, OPAQUE);
  StaticColours colours{};
  colours.brush = reinterpret_cast<HBRUSH>(SendMessageA(
      dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
  colours.text = GetTextColor(dc);
  colours.background_mode = GetBkMode(dc);
  DeleteDC(dc);
  return colours;
}

LOGBRUSH BrushOf(HBRUSH brush) {
  LOGBRUSH info{};
  GetObjectA(brush, sizeof info, &info);
  return info;
}

TEST(Look, LabelsAreDarkRedOnTheButtonFaceColour) {
  Fixture f;
  f.folder.write_ini(kPreferencesOff);
  RunningDialog d(f.setup());
  ASSERT_TRUE(d.program().look().ready());
  HBRUSH face = nullptr;
  for (int id = IDC_LABEL_FROM; id <= IDC_CAPTION_TTL; ++id) {
    const StaticColours c = ColoursOf(d.hwnd(), d.item(id));
    ASSERT_NE(c.brush, nullptr) << id;
    if (face == nullptr) face = c.brush;
    EXPECT_EQ(c.brush, face) << "one face brush for all labels, made once";
    const LOGBRUSH brush = BrushOf(c.brush);
    EXPECT_EQ(brush.lbStyle, static_cast<UINT>(BS_SOLID)) << id;
    EXPECT_EQ(brush.lbColor, GetSysColor(COLOR_BTNFACE)) << id;
    EXPECT_EQ(c.text, kLabelTextColour) << id;
    EXPECT_EQ(c.background_mode, TRANSPARENT) << id;
  }
  // Other controls are left to the default handling.
  for (const int id : {IDC_LIST, IDC_GO, IDC_FROM}) {
    EXPECT_NE(ColoursOf(d.hwnd(), d.item(id)).brush, face) << id;
  }
}

// The logo picture as the logo brush paints it, pixel by pixel.
class LogoTile {
 public:
  explicit LogoTile(HBRUSH logo) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kLogoWidth;
    info.bmiHeader.biHeight = -kLogoHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT all = {0, 0, kLogoWidth, kLogoHeight};
    FillRect(dc, &all, logo);
    GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    pixels_.assign(p, p + kLogoWidth * kLogoHeight);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  COLORREF at(int x, int y) const {
    const uint32_t v = pixels_[static_cast<size_t>(y * kLogoWidth + x)];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }

 private:
  std::vector<uint32_t> pixels_;
};

// Hatch on cream, a framed white rectangle, and "Brindlex" centred in it.
void ExpectLogoPicture(const LogoTile& tile) {
  // The hatched cream ground outside the frame.
  int cream = 0, lines = 0;
  for (int x = 0; x < kLogoWidth; ++x) {
    for (const int y : {0, 1, 38, 39}) {
      const COLORREF p = tile.at(x, y);
      EXPECT_TRUE(p == kLogoGroundColour || p == kLogoLineColour) << x << "," << y;
      (p == kLogoGroundColour ? cream : lines) += 1;
    }
  }
  EXPECT_GT(cream, lines) << "thin diagonal lines on a cream ground";
  EXPECT_GT(lines, 0);
  // The frame, and white inside it.
  EXPECT_EQ(tile.at(6, 20), kLogoLineColour);
  EXPECT_EQ(tile.at(92, 20), kLogoLineColour);
  EXPECT_EQ(tile.at(48, 4), kLogoLineColour);
  EXPECT_EQ(tile.at(10, 8), RGB(255, 255, 255));
  EXPECT_EQ(tile.at(88, 32), RGB(255, 255, 255));
  // "Brindlex" in the line colour, centred inside the frame.
  int left = kLogoWidth, right = 0, top = kLogoHeight, bottom = 0;
  for (int y = 7; y < 34; ++y) {
    for (int x = 9; x < 88; ++x) {
      if (tile.at(x, y) == RGB(255, 255, 255)) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  ASSERT_LT(left, right) << "the text is drawn";
  EXPECT_GT(right - left, 30) << "eight letters wide";
  EXPECT_NEAR(left + right, kLogoWidth - 1, 6) << left << ".." << right;
  EXPECT_NEAR(top + bottom, kLogoHeight - 1, 8) << top << ".." << bottom;
}

TEST(Look, TheAboutTextShowsBlackOverTheLogoTile) {
  Fixture f;
  f.folder.write_ini(kPreferencesOff);
  RunningDialog d(f.setup());
  PostMessageA(d.hwnd(), WM_COMMAND, IDM_ABOUT, 0);
  HWND about = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    return (about = ThreadWindow(d.thread_id(), "about 'Pebblewire'")) != nullptr &&
           IsWindowVisible(about);
  }));
  const StaticColours c = ColoursOf(about, GetDlgItem(about, IDC_ABOUT_TEXT));
  EXPECT_EQ(c.text, kAboutTextColour);
  EXPECT_EQ(c.background_mode, TRANSPARENT);
  ASSERT_NE(c.brush, nullptr);
  EXPECT_EQ(BrushOf(c.brush).lbStyle, static_cast<UINT>(BS_PATTERN));

  ExpectLogoPicture(LogoTile(c.brush));
  PostMessageA(about, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
}

TEST(Look, FourToolsWithTheirTexts) {
  Fixture f;
  f.folder.write_ini(kPreferencesOff);
  RunningDialog d(f.setup());
  HWND tooltip = d.program().tooltip_window();
  ASSERT_NE(tooltip, nullptr);
  char class_name[64] = {};
  GetClassNameA(tooltip, class_name, sizeof class_name);
  EXPECT_STREQ(class_name, "tooltips_class32");
  EXPECT_EQ(SendMessageA(tooltip, TTM_GETMAXTIPWIDTH, 0, 0), kTooltipMaxWidth);

  // The tools, in the order they are added: the edit fields of the three
  // combo boxes and the both-ways box itself.
  const struct {
    int control;
    HWND window;
  } expected[] = {
      {IDC_INTERFACE, GetWindow(d.item(IDC_INTERFACE), GW_CHILD)},
      {IDC_FROM, GetWindow(d.item(IDC_FROM), GW_CHILD)},
      {IDC_TO, GetWindow(d.item(IDC_TO), GW_CHILD)},
      {IDC_BOTH_TRAFFIC, d.item(IDC_BOTH_TRAFFIC)},
  };
  ASSERT_EQ(std::size(kMainDialogTooltips), std::size(expected));
  ASSERT_EQ(SendMessageA(tooltip, TTM_GETTOOLCOUNT, 0, 0), std::ssize(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    ASSERT_EQ(kMainDialogTooltips[i].control, expected[i].control) << i;
    TOOLINFOA info{};
    info.cbSize = TTTOOLINFOA_V2_SIZE;
    ASSERT_TRUE(SendMessageA(tooltip, TTM_ENUMTOOLSA, i, reinterpret_cast<LPARAM>(&info)));
    // Wine gives back at most the first 80 characters of a tool's text.
    char text[1024] = {};
    info.lpszText = text;
    SendMessageA(tooltip, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&info));
    const std::string whole = kMainDialogTooltips[i].text;
    const size_t shown = std::min<size_t>(whole.size(), 80);
    EXPECT_EQ(reinterpret_cast<HWND>(info.uId), expected[i].window) << i;
    EXPECT_EQ(info.hwnd, GetParent(expected[i].window)) << i;
    EXPECT_EQ(info.uFlags & (TTF_IDISHWND | TTF_SUBCLASS | TTF_TRANSPARENT),
              static_cast<UINT>(TTF_IDISHWND | TTF_SUBCLASS | TTF_TRANSPARENT)) << i;
    EXPECT_EQ(std::string(text).substr(0, shown), whole.substr(0, shown)) << i;
    EXPECT_GE(strlen(text), shown) << i;
  }
  // The from and to fields limit what is typed into them: to 53
  // characters, a bracketed IPv6 address with a port.
  EXPECT_EQ(kFieldInputLimit, 53u);
  for (const int id : {IDC_FROM, IDC_TO}) {
    EXPECT_EQ(SendMessageA(GetWindow(d.item(id), GW_CHILD), EM_GETLIMITTEXT, 0, 0),
              static_cast<LRESULT>(kFieldInputLimit))
        << id;
  }
}

TEST(Look, EveryFieldOfARowStartsUnderItsCaption) {
  Fixture f;
  f.folder.write_ini(kPreferencesOff);
  RunningDialog d(f.setup());
  // Where each tab stop lies on the screen: the list's client area plus the
  // stop in dialog units.
  POINT client{0, 0};
  ClientToScreen(d.item(IDC_LIST), &client);
  const int captions[] = {IDC_CAPTION_NUMBER,       IDC_CAPTION_PROTOCOL, IDC_CAPTION_FROM_ADDRESS,
                          IDC_CAPTION_FROM_PORT,    IDC_CAPTION_TO_ADDRESS, IDC_CAPTION_TO_PORT,
                          IDC_CAPTION_SIZE,         IDC_CAPTION_TTL};
  const auto stops = ListTabStops();
  int previous = client.x;
  for (size_t i = 0; i < stops.size(); ++i) {
    RECT stop = {stops[i], 0, 0, 0};
    MapDialogRect(d.hwnd(), &stop);
    const int x = client.x + stop.left;
    RECT caption;
    GetWindowRect(d.item(captions[i]), &caption);
    EXPECT_GT(x, previous) << "the stops increase, column " << i;
    EXPECT_GE(x, caption.left - 2) << "column " << i;
    EXPECT_LE(x, caption.left + 6) << "column " << i;
    previous = x;
  }
}

}  // namespace
}  // namespace pw::test
