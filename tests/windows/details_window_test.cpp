// Command 108 and the details window: found or created, the report of the
// chosen row, one window only, never another program's window of that
// title, and the empty store.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/detail_report.h"
#include "gui/details_window.h"
#include "ui/details_selection.h"
#include "windows/gui_fixture.h"

namespace pw::test {
namespace {

constexpr char kTitle[] = "packets in details";

// The top-level windows of this process titled "packets in details".
std::vector<HWND> DetailsWindows() {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND hwnd, LPARAM lparam) -> BOOL {
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        if (process == GetCurrentProcessId() && WindowText(hwnd) == kTitle) {
          reinterpret_cast<std::vector<HWND>*>(lparam)->push_back(hwnd);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::vector<std::string> ExpectedReport(RunningDialog& d, uint32_t index) {
  DetailReport report;
  DecodePacket(d.store(), index, PayloadViewFlagsOf(d.state().settings), report);
  return report.entries;
}

struct DetailsFixture : Fixture {
  DetailsFixture() {
    folder.write_ini(kPreferencesOff);
    for (int i = 0; i < 3; ++i) source.add(Udp(i, static_cast<uint16_t>(4 + i)));
    source.set_at_end(ScriptedSource::AtEnd::kBlock);
  }
};

TEST(DetailsWindow, ChosenTwiceOneWindowShowsTheSecondChoice) {
  DetailsFixture f;
  RunningDialog d(f.setup());
  ASSERT_TRUE(CaptureAll(d, f.source, 3));

  ASSERT_TRUE(ChooseRow(d, 1));
  d.command(IDM_DETAILS);
  const HWND first = d.program().details_window();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(ListEntries(GetDlgItem(first, IDC_DETAILS_LIST)), ExpectedReport(d, 1));

  ASSERT_TRUE(ChooseRow(d, 2));
  d.command(IDM_DETAILS);
  EXPECT_EQ(DetailsWindows(), std::vector<HWND>{first}) << "the window is reused";
  HWND list = GetDlgItem(first, IDC_DETAILS_LIST);
  const std::vector<std::string> entries = ListEntries(list);
  EXPECT_EQ(entries, ExpectedReport(d, 2));
  const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
  ASSERT_GE(selected, 0);
  EXPECT_EQ(entries[static_cast<size_t>(selected)], "packet2 udp ");
  EXPECT_TRUE(IsWindowVisible(first));
  EXPECT_EQ(GetForegroundWindow(), first) << "brought to the front";
  EXPECT_EQ(GetWindow(first, GW_OWNER), d.hwnd());
  EXPECT_EQ(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0), 700);
  EXPECT_TRUE(GetWindowLongA(first, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
}

TEST(DetailsWindow, ClosedWindowIsCreatedAgainAtItsPlace) {
  DetailsFixture f;
  RunningDialog d(f.setup());
  ASSERT_TRUE(CaptureAll(d, f.source, 3));
  ASSERT_TRUE(ChooseRow(d, 0));
  d.command(IDM_DETAILS);
  const HWND first = d.program().details_window();
  ASSERT_NE(first, nullptr);
  RECT place;
  GetWindowRect(first, &place);
  // Beside the main window, on its right, narrowed where the screen is
  // too narrow for both.
  RECT main;
  GetWindowRect(d.hwnd(), &main);
  EXPECT_EQ(place.left, main.right);
  EXPECT_EQ(place.top, main.top);
  RECT screen{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen, 0);
  EXPECT_LE(place.right, screen.right);

  // It grows, and its list with it.
  HWND list = GetDlgItem(first, IDC_DETAILS_LIST);
  RECT before;
  GetWindowRect(list, &before);
  SetWindowPos(first, nullptr, 0, 0, place.right - place.left + 200,
               place.bottom - place.top + 100, SWP_NOMOVE | SWP_NOZORDER);
  RECT after;
  GetWindowRect(list, &after);
  EXPECT_EQ(after.right - after.left, before.right - before.left + 200);
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top + 100);

  SendMessageA(first, WM_CLOSE, 0, 0);  // the close box
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(first); }));
  EXPECT_EQ(d.program().details_window(), nullptr);
  d.command(IDM_DETAILS);
  const HWND second = d.program().details_window();
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(IsWindowVisible(second));
  RECT again;
  GetWindowRect(second, &again);
  EXPECT_EQ(again.left, place.left);
  EXPECT_EQ(again.top, place.top);
  EXPECT_EQ(ListEntries(GetDlgItem(second, IDC_DETAILS_LIST)), ExpectedReport(d, 0));
}

TEST(DetailsWindow, OpensBesideTheMainWindowWhereTheWorkAreaHasRoom) {
  const RECT work = {0, 0, 1280, 1000};
  const SIZE size = {400, 500};
  const LONG narrowest = 200;
  const struct {
    const char* name;
    RECT main;
    RECT place;
  } cases[] = {
      {"room on the right", {100, 100, 600, 600}, {600, 100, 1000, 600}},
      {"room on the left only", {400, 100, 900, 600}, {0, 100, 400, 600}},
      {"narrowed to the roomier right", {200, 100, 1000, 600}, {1000, 100, 1280, 600}},
      {"narrowed to the roomier left", {300, 100, 1100, 600}, {0, 100, 300, 600}},
      {"over it as far as the narrowest needs", {150, 100, 1150, 600}, {0, 100, 200, 600}},
      {"kept above the work area's bottom", {100, 700, 600, 1200}, {600, 500, 1000, 1000}},
      {"kept below its top", {100, -50, 600, 450}, {600, 0, 1000, 500}},
      {"wider than the work area", {0, 0, 1280, 1000}, {1080, 0, 1280, 500}},
  };
  for (const auto& c : cases) {
    const RECT place = PlaceBeside(c.main, size, narrowest, work);
    EXPECT_TRUE(EqualRect(&place, &c.place))
        << c.name << ": " << place.left << "," << place.top << "," << place.right << ","
        << place.bottom;
  }
}

TEST(DetailsWindow, EmptyStoreOpensAnEmptyWindowAndSaysSoInTheMainList) {
  Fixture f;
  f.folder.write_ini(kPreferencesOff);
  RunningDialog d(f.setup());
  const int rows = d.row_count();
  d.command(IDM_DETAILS);
  const HWND window = d.program().details_window();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(ListEntries(GetDlgItem(window, IDC_DETAILS_LIST)).empty());
  ASSERT_EQ(d.row_count(), rows + 1);
  EXPECT_EQ(d.row(rows), "don't found data!");
}

TEST(DetailsWindow, NothingStoredYetWhileCapturingAddsNoRow) {
  Fixture f;
  f.folder.write_ini(kPreferencesOff);
  f.source.set_at_end(ScriptedSource::AtEnd::kBlock);
  f.source.add_block();
  f.source.add(Udp(0));
  RunningDialog d(f.setup());
  d.command(IDC_GO);
  ASSERT_TRUE(WaitUntil([&] { return f.source.blocked(); }));
  d.command(IDM_DETAILS);
  EXPECT_EQ(d.row_count(), 0) << "the list keeps one row per stored datagram";
  EXPECT_TRUE(ListEntries(GetDlgItem(d.program().details_window(), IDC_DETAILS_LIST)).empty());
  // The first datagram's row is row 0, as the store's datagram 0.
  f.source.wake();
  ASSERT_TRUE(WaitUntil([&] { return d.row_count() == 1; }));
  d.command(IDC_STOP);
  EXPECT_EQ(d.row(0).rfind("\t0\tudp\t", 0), 0u);
}

TEST(DetailsWindow, AnotherWindowOfThatTitleIsNeverWrittenTo) {
  DetailsFixture f;
  RunningDialog d(f.setup());
  ASSERT_TRUE(CaptureAll(d, f.source, 3));
  // Another program's window of the same title, with a list of its own.
  HWND foreign = CreateWindowExA(0, "STATIC", kTitle, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr);
  HWND foreign_list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD, 0, 0, 100, 50, foreign,
                                      reinterpret_cast<HMENU>(IDC_DETAILS_LIST), nullptr, nullptr);
  SendMessageA(foreign_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("theirs"));
  ASSERT_TRUE(ChooseRow(d, 0));
  d.command(IDM_DETAILS);
  EXPECT_NE(d.program().details_window(), foreign);
  EXPECT_EQ(ListEntries(foreign_list), std::vector<std::string>{"theirs"});
  EXPECT_EQ(DetailsWindows().size(), 2u);
  DestroyWindow(foreign);
}

}  // namespace
}  // namespace pw::test

namespace pw::test {
namespace {

// The middle of row `row` of `list`, or a point `below` pixels under the
// last row, in the list's client coordinates.
POINT RowPoint(HWND list, int row, int below = 0) {
  RECT r{};
  SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2 + below};
}

void Mouse(HWND list, UINT message, POINT at) {
  const WPARAM buttons = message == WM_RBUTTONDOWN ? MK_RBUTTON
                         : message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK ? MK_LBUTTON
                                                                                     : 0;
  PostMessageA(list, message, buttons, MAKELPARAM(at.x, at.y));
}

void LeftClick(HWND list, POINT at) {
  Mouse(list, WM_LBUTTONDOWN, at);
  Mouse(list, WM_LBUTTONUP, at);
}

void Key(HWND control, WPARAM key) {
  PostMessageA(control, WM_KEYDOWN, key, 1);
  PostMessageA(control, WM_KEYUP, key, 0xC0000001);
}

int Selected(HWND list) { return static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0)); }

// The text on the clipboard; "(none)" when it holds no text.
std::string ClipboardText() {
  std::string text = "(none)";
  if (!OpenClipboard(nullptr)) return "(clipboard busy)";
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* bytes = static_cast<const char*>(GlobalLock(data))) {
      text = bytes;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

TEST(DetailsWindow, ARightClickSelectsTheRowUnderItBeforeTheMenuOpens) {
  DetailsFixture f;
  RunningDialog d(f.setup());
  ASSERT_TRUE(CaptureAll(d, f.source, 3));
  HWND list = d.item(IDC_LIST);
  const struct {
    const char* name;
    POINT at;
    int selected;
  } clicks[] = {{"row 2", RowPoint(list, 2), 2},
                {"below the last row", RowPoint(list, 2, 40), 2},
                {"row 0", RowPoint(list, 0), 0}};
  for (const auto& c : clicks) {
    Mouse(list, WM_RBUTTONDOWN, c.at);
    Mouse(list, WM_RBUTTONUP, c.at);
    HWND menu = WaitForMenu();
    ASSERT_NE(menu, nullptr) << c.name;
    EXPECT_EQ(Selected(list), c.selected) << c.name;
    EXPECT_EQ(d.state().selected_index, c.selected) << c.name;
    ASSERT_TRUE(CloseMenu(menu)) << c.name;
  }
  // "packets in &details" by its key decodes the row clicked.
  Mouse(list, WM_RBUTTONDOWN, RowPoint(list, 1));
  Mouse(list, WM_RBUTTONUP, RowPoint(list, 1));
  HWND menu = WaitForMenu();
  ASSERT_NE(menu, nullptr);
  PostMessageA(menu, WM_CHAR, 'd', 0);
  ASSERT_TRUE(WaitUntil([&] { return d.program().details_window() != nullptr; }));
  EXPECT_TRUE(WaitUntil([&] {
    return ListEntries(GetDlgItem(d.program().details_window(), IDC_DETAILS_LIST)) ==
           ExpectedReport(d, 1);
  }));
}

TEST(DetailsWindow, FollowsTheSelectionWhileOpenAndANewSessionEmptiesIt) {
  DetailsFixture f;
  RunningDialog d(f.setup());
  ASSERT_TRUE(CaptureAll(d, f.source, 3));
  HWND list = d.item(IDC_LIST);
  LeftClick(list, RowPoint(list, 1));
  ASSERT_TRUE(WaitUntil([&] { return Selected(list) == 1; }));
  EXPECT_EQ(d.program().details_window(), nullptr) << "a click opens nothing";

  // A double click opens it and leaves the keyboard in the list.
  Mouse(list, WM_LBUTTONDBLCLK, RowPoint(list, 1));
  ASSERT_TRUE(WaitUntil([&] { return d.program().details_window() != nullptr; }));
  HWND details = GetDlgItem(d.program().details_window(), IDC_DETAILS_LIST);
  EXPECT_TRUE(WaitUntil([&] { return ListEntries(details) == ExpectedReport(d, 1); }));
  EXPECT_EQ(d.focus(), list);

  const struct {
    const char* name;
    WPARAM key;  // 0: a click on `row`
    int row;
  } steps[] = {{"click", 0, 2}, {"up", VK_UP, 1}, {"page down", VK_NEXT, 2},
               {"page up", VK_PRIOR, 0}, {"down", VK_DOWN, 1}};
  for (const auto& s : steps) {
    if (s.key == 0) {
      LeftClick(list, RowPoint(list, s.row));
    } else {
      Key(list, s.key);
    }
    EXPECT_TRUE(WaitUntil([&] { return ListEntries(details) == ExpectedReport(d, s.row); }))
        << s.name;
    EXPECT_EQ(d.state().selected_index, s.row) << s.name;
  }

  // Enter on a row opens the window again once it was closed.
  SendMessageA(d.program().details_window(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return d.program().details_window() == nullptr; }));
  Key(list, VK_DOWN);
  Key(list, VK_RETURN);
  ASSERT_TRUE(WaitUntil([&] { return d.program().details_window() != nullptr; }));
  details = GetDlgItem(d.program().details_window(), IDC_DETAILS_LIST);
  EXPECT_TRUE(WaitUntil([&] { return ListEntries(details) == ExpectedReport(d, 2); }));

  f.source.rewind();
  d.command(IDC_GO);
  EXPECT_TRUE(ListEntries(details).empty()) << "a new session empties it";
  ASSERT_TRUE(WaitUntil([&] { return d.row_count() == 3 && f.source.blocked(); }));
  d.command(IDC_STOP);
}

TEST(DetailsWindow, CtrlCCopiesTheSelectedLineAndEscClosesIt) {
  DetailsFixture f;
  RunningDialog d(f.setup());
  ASSERT_TRUE(CaptureAll(d, f.source, 3));
  HWND list = d.item(IDC_LIST);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
  LeftClick(list, RowPoint(list, 1));
  PostMessageA(list, WM_CHAR, 3, 1);  // Ctrl+C
  EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == d.row(1); })) << ClipboardText();

  ASSERT_TRUE(ChooseRow(d, 2));
  d.command(IDM_DETAILS);
  HWND window = d.program().details_window();
  HWND details = GetDlgItem(window, IDC_DETAILS_LIST);
  SendMessageA(details, LB_SETCURSEL, 4, 0);
  PostMessageA(details, WM_CHAR, 3, 1);
  EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == ListEntry(details, 4); }))
      << ClipboardText();

  Key(details, VK_ESCAPE);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); }));
  EXPECT_EQ(d.program().details_window(), nullptr);
}

}  // namespace
}  // namespace pw::test
