#include "gui/details_window.h"

#include "res/resource.h"
#include "shell/solid_paint.h"
#include "ui/details_selection.h"

namespace pw {
namespace {

constexpr COLORREF kBackgroundColour = RGB(247, 9, 50);
// Pixels the list scrolls sideways, for lines wider than the list.
constexpr WPARAM kListExtent = 700;

}  // namespace

DetailsWindow::~DetailsWindow() {
  if (hwnd() != nullptr) DestroyWindow(hwnd());
}

bool DetailsWindow::open_empty(HWND owner) {
  if (hwnd() != nullptr) {
    SendMessageA(list(), LB_RESETCONTENT, 0, 0);
    return true;
  }
  return create_modeless(instance_, IDD_DETAILS, owner) != nullptr;
}

void DetailsWindow::show_report(const DetailReport& report, uint32_t index) {
  HWND entries = list();
  if (entries == nullptr) return;
  SendMessageA(entries, LB_RESETCONTENT, 0, 0);
  for (const std::string& entry : report.entries) {
    SendMessageA(entries, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  }
  // The entry seven lines below the header line first, so that the header
  // line ends up selected with the lines under it in view.
  const DetailsSelection selection = SelectHeaderLine(report.entries, index);
  if (selection.select_index < 0) return;
  SendMessageA(entries, LB_SETCURSEL, static_cast<WPARAM>(selection.scroll_index), 0);
  SendMessageA(entries, LB_SETCURSEL, static_cast<WPARAM>(selection.select_index), 0);
}

void DetailsWindow::bring_to_front() const {
  if (hwnd() == nullptr) return;
  ShowWindow(hwnd(), SW_SHOWNORMAL);
  SetForegroundWindow(hwnd());
}

HWND DetailsWindow::list() const {
  return hwnd() != nullptr ? GetDlgItem(hwnd(), IDC_DETAILS_LIST) : nullptr;
}

BOOL DetailsWindow::on_init_dialog() {
  SendMessageA(list(), LB_SETHORIZONTALEXTENT, kListExtent, 0);
  return FALSE;
}

void DetailsWindow::on_paint() { PaintSolidBackground(hwnd(), kBackgroundColour); }

// The close box comes as IDCANCEL through the dialog manager.
void DetailsWindow::on_command(WORD id, WORD, HWND) {
  if (id == IDCANCEL) DestroyWindow(hwnd());
}

HBRUSH DetailsWindow::on_ctl_color_static(HDC dc, HWND control) {
  return look_.static_brush(dc, control);
}

}  // namespace pw
