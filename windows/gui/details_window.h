// The details window (dialog 114, "packets in details"): a modeless window
// beside the main window whose one control, a list, shows the details
// report of one stored packet. Command 108 of the main window opens it or
// reuses it, and while it is open it follows the selection of the main
// list. The main window keeps this object, and with it the handle of the
// window it created: the window is never looked up by its title, so
// another program's window of that title is never written to.
//
// It opens beside the main window, on the side where the work area has
// room (over it only where neither side has), and may be resized, its list
// growing with it; Esc closes it, Ctrl+C copies the selected line. UI
// thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "decode/detail_report.h"
#include "shell/dialog_base.h"
#include "shell/look.h"

namespace pw {

// Where a window of `size`, which may be narrowed to `narrowest`, opens
// beside the window `main`, all in screen pixels, within the work area
// `work`: right of `main` when it fits there, else left of it; when
// neither side has room, on the roomier side narrowed to its room, and
// over `main` only as far as `narrowest` needs. Its top is the main
// window's top, moved into the work area.
RECT PlaceBeside(const RECT& main, SIZE size, LONG narrowest, const RECT& work);

class DetailsWindow final : public DialogBase {
 public:
  DetailsWindow(HINSTANCE instance, const Look& look) : instance_(instance), look_(look) {}
  ~DetailsWindow() override;

  // The window exists (it may be hidden until its first report).
  bool is_open() const { return hwnd() != nullptr; }

  // The window is there and its list empty: an open window's list is
  // emptied, otherwise the window is created (hidden) beside `owner`.
  // False when it could not be created.
  bool open_empty(HWND owner);

  // Fills the list with the report of packet `index`, selects its header
  // line "packet<index> ..." and scrolls the lines under it into view.
  void show_report(const DetailReport& report, uint32_t index);

  // Empties the list of an open window.
  void clear() const;

  // Shows the window normally and brings it to the front.
  void bring_to_front() const;

  // Shows the window, leaving the keyboard where it is.
  void show_inactive() const;

  // The report's list; null while there is no window.
  HWND list() const;

 private:
  BOOL on_init_dialog() override;
  void on_paint() override;
  void on_command(WORD id, WORD notification, HWND control) override;
  HBRUSH on_ctl_color_static(HDC dc, HWND control) override;
  void on_size(WPARAM kind, int width, int height) override;
  void on_get_min_max_info(MINMAXINFO& info) override;
  LONG narrowest() const { return created_size_.cx / 3; }

  HINSTANCE instance_;
  const Look& look_;
  // The list's distance from the client area's right and bottom edges, as
  // the template places it; the window's size at its creation.
  SIZE list_margin_{};
  SIZE created_size_{};
};

}  // namespace pw
