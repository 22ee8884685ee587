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

// The caption's place in the dialog's client area.
RECT ClientPlace(HWND control) {
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

int TextWidth(HWND list, const char* text) {
  HDC dc = GetDC(list);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &size);
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  return size.cx;
}

TEST(Look, EveryFieldStaysUnderItsCaptionAtEverySize) {
  Fixture f;
  f.folder.write_ini(kPreferencesOff);
  RunningDialog d(f.setup());
  HWND list = d.item(IDC_LIST);
  std::vector<RECT> at_template;
  for (int id = IDC_CAPTION_NUMBER; id <= IDC_CAPTION_TTL; ++id) {
    at_template.push_back(ClientPlace(d.item(id)));
  }
  RECT frame, client;
  GetWindowRect(d.hwnd(), &frame);
  GetClientRect(d.hwnd(), &client);
  const RECT list_at_template = ClientPlace(list);
  const int address = TextWidth(list, "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff");
  const int own_width = frame.right - frame.left;
  const int own_height = frame.bottom - frame.top;

  const struct {
    const char* name;
    int width;  // the window's; 0: maximised
    bool room_for_addresses;
  } sizes[] = {{"its own size", own_width, false},
               {"a little wider", own_width + 60, false},
               {"wide", own_width + 2 * address, true},
               {"maximised", 0, true},
               {"its own size again", own_width, false}};
  for (const auto& s : sizes) {
    if (s.width == 0) {
      SendMessageA(d.hwnd(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
      EXPECT_TRUE(IsZoomed(d.hwnd()));
    } else {
      SendMessageA(d.hwnd(), WM_SYSCOMMAND, SC_RESTORE, 0);
      SetWindowPos(d.hwnd(), nullptr, 0, 0, s.width, own_height + 100,
                   SWP_NOMOVE | SWP_NOZORDER);
    }
    RECT now;
    GetClientRect(d.hwnd(), &now);
    const RECT list_place = ClientPlace(list);
    EXPECT_EQ(now.right - list_place.right, client.right - list_at_template.right) << s.name;
    EXPECT_EQ(now.bottom - list_place.bottom, client.bottom - list_at_template.bottom) << s.name;
    // Where each tab stop lies: the list's client area plus the stop.
    POINT origin{0, 0};
    MapWindowPoints(list, d.hwnd(), &origin, 1);
    const auto stops = d.program().list_tab_stops();
    std::vector<RECT> captions;
    for (int id = IDC_CAPTION_NUMBER; id <= IDC_CAPTION_TTL; ++id) {
      captions.push_back(ClientPlace(d.item(id)));
    }
    for (size_t i = 0; i < stops.size(); ++i) {
      RECT stop = {stops[i], 0, 0, 0};
      MapDialogRect(d.hwnd(), &stop);
      const LONG x = origin.x + stop.left;
      EXPECT_GE(x, captions[i].left - 2) << s.name << ", column " << i;
      EXPECT_LE(x, captions[i].left + 6) << s.name << ", column " << i;
      if (i > 0) {
        EXPECT_GT(captions[i].left, captions[i - 1].left) << s.name << ", column " << i;
      }
    }
    EXPECT_LE(captions.back().right, list_place.right) << s.name;
    for (const size_t column : {2, 4}) {
      const LONG room = captions[column + 1].left - captions[column].left;
      EXPECT_EQ(room >= address, s.room_for_addresses) << s.name << ", column " << column;
    }
    if (s.width == own_width) {
      for (size_t i = 0; i < captions.size(); ++i) {
        EXPECT_TRUE(EqualRect(&captions[i], &at_template[i])) << s.name << ", column " << i;
      }
    }
  }
}

}  // namespace
}  // namespace pw::test

namespace pw::test {
namespace {

// Types `text` over the text of `combo`'s edit field, as the keyboard does,
// and leaves it for the interface field.
void TypeInto(const RunningDialog& d, int field, const std::string& text) {
  HWND edit = GetWindow(d.item(field), GW_CHILD);
  PostMessageA(d.hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(d.item(field)), TRUE);
  PostMessageA(edit, EM_SETSEL, 0, -1);
  PostMessageA(edit, WM_CHAR, VK_BACK, 1);
  for (const char c : text) PostMessageA(edit, WM_CHAR, static_cast<WPARAM>(c), 1);
  PostMessageA(d.hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(d.item(IDC_INTERFACE)), TRUE);
  // Typed once the field holds the whole text and the keyboard has left it:
  // what the test does next (a click on a box) must not come between.
  WaitUntil([&] {
    char now[256] = {};
    GetWindowTextA(edit, now, sizeof now);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return now == text && GetGUIThreadInfo(GetWindowThreadProcessId(d.hwnd(), nullptr), &info) &&
           info.hwndFocus != edit;
  });
}

// The field's colours as the dialog hands them to its edit field: true
// for red text on a brush of the dialog's own.
bool Red(const RunningDialog& d, int field) {
  HDC dc = CreateCompatibleDC(nullptr);
  SetTextColor(dc, RGB(0, 0, 0));
  const LRESULT brush = SendMessageA(d.hwnd(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                                     reinterpret_cast<LPARAM>(GetWindow(d.item(field), GW_CHILD)));
  const bool red = brush != 0 && GetTextColor(dc) == RGB(176, 0, 0);
  DeleteDC(dc);
  return red;
}

std::string TipOf(RunningDialog& d, int field) {
  TOOLINFOA info{};
  info.cbSize = TTTOOLINFOA_V2_SIZE;
  info.hwnd = d.item(field);
  info.uId = reinterpret_cast<UINT_PTR>(GetWindow(d.item(field), GW_CHILD));
  char text[1024] = {};
  info.lpszText = text;
  SendMessageA(d.program().tooltip_window(), TTM_GETTEXTA, sizeof text,
               reinterpret_cast<LPARAM>(&info));
  return text;
}

TEST(Look, AFieldNotTakenAsWrittenIsRedAndItsTipSaysWhy) {
  Fixture f;
  f.folder.write_ini(kPreferencesOff);
  RunningDialog d(f.setup());
  EXPECT_FALSE(Red(d, IDC_FROM));
  const struct {
    const char* name;
    int field;
    std::string text;  // typed; empty: a protocol box clicked instead
    int box;
    std::string tip;  // how it begins; empty: the field is not red
  } steps[] = {
      {"no such address", IDC_FROM, "10.0.0.300:80", 0,
       "matches nothing: no datagram's address is written \"10.0.0.300\"\r\n"},
      {"an address", IDC_FROM, "10.0.0.1:80", 0, ""},
      {"no port number", IDC_TO, "10.0.0.2:http", 0,
       "the port is no number from 1 to 65535: every port passes\r\n"},
      {"a port", IDC_TO, "10.0.0.2:53", 0, ""},
      {"tcp off", IDC_TO, "", IDC_TCP, ""},
      {"udp off: no protocol has ports", IDC_TO, "", IDC_UDP, "the port is not used: only tcp"},
      {"udp on", IDC_TO, "", IDC_UDP, ""},
  };
  for (const auto& s : steps) {
    if (s.box != 0) {
      SendMessageA(d.item(s.box), BM_CLICK, 0, 0);
    } else {
      TypeInto(d, s.field, s.text);
    }
    EXPECT_TRUE(WaitUntil([&] { return Red(d, s.field) == !s.tip.empty(); })) << s.name;
    const std::string tip = TipOf(d, s.field);
    if (s.tip.empty()) {
      EXPECT_EQ(tip.rfind("show only packets ", 0), 0u) << s.name << ": " << tip;
    } else {
      EXPECT_EQ(tip.rfind(s.tip, 0), 0u) << s.name << ": " << tip;
    }
  }
  EXPECT_FALSE(Red(d, IDC_INTERFACE)) << "only the from and to fields";
}

}  // namespace
}  // namespace pw::test

namespace pw::test {
namespace {

const void* Resource(int id, LPCSTR type, DWORD* size = nullptr) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
  if (found == nullptr) return nullptr;
  if (size != nullptr) *size = SizeofResource(nullptr, found);
  return LockResource(LoadResource(nullptr, found));
}

TEST(Look, TheProgramIsDpiAwareAndEachIconIsDrawnForEverySize) {
  DWORD size = 0;
  const auto* manifest = static_cast<const char*>(Resource(1, RT_MANIFEST, &size));
  ASSERT_NE(manifest, nullptr);
  EXPECT_NE(std::string(manifest, size).find(">true</dpiAware>"), std::string::npos);
  EXPECT_TRUE(IsProcessDPIAware()) << "the manifest that the program links declares it";
  for (int id = IDI_APP; id <= IDI_FRAME4; ++id) {
    const void* group = Resource(id, RT_GROUP_ICON);
    ASSERT_NE(group, nullptr) << id;
    for (const int pixels : {16, 20, 24, 32, 40, 48, 64}) {
      const int image = LookupIconIdFromDirectoryEx(
          static_cast<PBYTE>(const_cast<void*>(group)), TRUE, pixels, pixels, LR_DEFAULTCOLOR);
      const auto* header = static_cast<const BITMAPINFOHEADER*>(Resource(image, RT_ICON));
      ASSERT_NE(header, nullptr) << id << " at " << pixels;
      EXPECT_EQ(header->biWidth, pixels) << id;
      EXPECT_EQ(header->biHeight, 2 * pixels) << id << ": the image and its mask";
      EXPECT_EQ(header->biBitCount, 8) << id;
    }
  }
}

}  // namespace
}  // namespace pw::test
