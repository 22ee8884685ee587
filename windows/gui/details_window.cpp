#include "gui/details_window.h"

#include <algorithm>

#include "res/resource.h"
#include "shell/dpi.h"
#include "shell/list_keys.h"
#include "shell/solid_paint.h"
#include "ui/details_selection.h"

namespace pw {
namespace {

constexpr COLORREF kBackgroundColour = RGB(247, 9, 50);
// Pixels the list scrolls sideways at 96 dots per inch, for lines wider
// than the list.
constexpr int kListExtent = 700;

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

}  // namespace

RECT PlaceBeside(const RECT& main, SIZE size, LONG narrowest, const RECT& work) {
  const LONG room_right = work.right - main.right;
  const LONG room_left = main.left - work.left;
  const bool right = room_right >= size.cx || (room_left < size.cx && room_right >= room_left);
  const LONG room = right ? room_right : room_left;
  const LONG width = std::min(size.cx, std::max(room, narrowest));
  LONG x = right ? std::min(main.right, work.right - width) : main.left - width;
  x = std::max(x, work.left);
  const LONG y = std::max(std::min(main.top, work.bottom - size.cy), work.top);
  return {x, y, x + width, y + size.cy};
}

DetailsWindow::~DetailsWindow() {
  if (hwnd() != nullptr) DestroyWindow(hwnd());
}

bool DetailsWindow::open_empty(HWND owner) {
  if (hwnd() != nullptr) {
    clear();
    return true;
  }
  if (create_modeless(instance_, IDD_DETAILS, owner) == nullptr) return false;
  RECT main{}, frame{};
  GetWindowRect(owner, &main);
  GetWindowRect(hwnd(), &frame);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoA(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT place = PlaceBeside(main, {Width(frame), Height(frame)}, narrowest(), monitor.rcWork);
  SetWindowPos(hwnd(), nullptr, place.left, place.top, Width(place), Height(place),
               SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void DetailsWindow::show_report(const DetailReport& report, uint32_t index) {
  HWND entries = list();
  if (entries == nullptr) return;
  SendMessageA(entries, WM_SETREDRAW, FALSE, 0);
  SendMessageA(entries, LB_RESETCONTENT, 0, 0);
  for (const std::string& entry : report.entries) {
    SendMessageA(entries, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  }
  // The entry seven lines below the header line first, so that the header
  // line ends up selected with the lines under it in view.
  const DetailsSelection selection = SelectHeaderLine(report.entries, index);
  if (selection.select_index >= 0) {
    SendMessageA(entries, LB_SETCURSEL, static_cast<WPARAM>(selection.scroll_index), 0);
    SendMessageA(entries, LB_SETCURSEL, static_cast<WPARAM>(selection.select_index), 0);
  }
  SendMessageA(entries, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(entries, nullptr, TRUE);
}

void DetailsWindow::clear() const {
  if (hwnd() != nullptr) SendMessageA(list(), LB_RESETCONTENT, 0, 0);
}

void DetailsWindow::bring_to_front() const {
  if (hwnd() == nullptr) return;
  ShowWindow(hwnd(), SW_SHOWNORMAL);
  SetForegroundWindow(hwnd());
}

void DetailsWindow::show_inactive() const {
  if (hwnd() != nullptr && !IsWindowVisible(hwnd())) ShowWindow(hwnd(), SW_SHOWNOACTIVATE);
}

HWND DetailsWindow::list() const {
  return hwnd() != nullptr ? GetDlgItem(hwnd(), IDC_DETAILS_LIST) : nullptr;
}

BOOL DetailsWindow::on_init_dialog() {
  HWND entries = list();
  SendMessageA(entries, LB_SETHORIZONTALEXTENT, ScaledPixels(kListExtent), 0);
  AddListKeys(entries, /*escape_closes=*/true);
  RECT client{}, placed{}, frame{};
  GetClientRect(hwnd(), &client);
  GetWindowRect(entries, &placed);
  MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&placed), 2);
  list_margin_ = {client.right - placed.right, client.bottom - placed.bottom};
  GetWindowRect(hwnd(), &frame);
  created_size_ = {Width(frame), Height(frame)};
  return FALSE;
}

void DetailsWindow::on_paint() { PaintSolidBackground(hwnd(), kBackgroundColour); }

// The close box, and Esc in the list, come as IDCANCEL.
void DetailsWindow::on_command(WORD id, WORD, HWND) {
  if (id == IDCANCEL) DestroyWindow(hwnd());
}

HBRUSH DetailsWindow::on_ctl_color_static(HDC dc, HWND control) {
  return look_.static_brush(dc, control);
}

// The list keeps its place at the top left and grows with the window.
void DetailsWindow::on_size(WPARAM kind, int width, int height) {
  if (kind == SIZE_MINIMIZED) return;
  HWND entries = list();
  RECT placed{};
  GetWindowRect(entries, &placed);
  MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&placed), 2);
  SetWindowPos(entries, nullptr, 0, 0, std::max(0L, width - list_margin_.cx - placed.left),
               std::max(0L, height - list_margin_.cy - placed.top),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A third of its first width and half its first height at the least, so
// that the list stays usable; it opens as narrow as that beside a main
// window that leaves no more room.
void DetailsWindow::on_get_min_max_info(MINMAXINFO& info) {
  if (created_size_.cx == 0) return;
  info.ptMinTrackSize = {narrowest(), created_size_.cy / 2};
}

}  // namespace pw
