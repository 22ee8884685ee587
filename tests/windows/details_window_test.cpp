// Command 108 and the details window: found or created, the report of the
// chosen row, one window only, never another program's window of that
// title, and the empty store.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/detail_report.h"
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
  // Beside the main window (x 312 dialog units from its client area, or
  // as near as the screen allows).
  RECT main;
  GetWindowRect(d.hwnd(), &main);
  EXPECT_GT(place.left, main.left);

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
