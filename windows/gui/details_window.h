// The details window (dialog 114, "packets in details"): a modeless window
// beside the main window whose one control, a list, shows the details
// report of one stored packet. Command 108 of the main window opens it or
// reuses it; it is not updated by itself. The main window keeps this
// object, and with it the handle of the window it created: the window is
// never looked up by its title, so another program's window of that title
// is never written to. UI thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "decode/detail_report.h"
#include "shell/dialog_base.h"
#include "shell/look.h"

namespace pw {

class DetailsWindow final : public DialogBase {
 public:
  DetailsWindow(HINSTANCE instance, const Look& look) : instance_(instance), look_(look) {}
  ~DetailsWindow() override;

  // The window is there and its list empty: an open window's list is
  // emptied, otherwise the window is created (hidden, at its initial
  // place beside `owner`). False when it could not be created.
  bool open_empty(HWND owner);

  // Fills the list with the report of packet `index`, selects its header
  // line "packet<index> ..." and scrolls the lines under it into view.
  void show_report(const DetailReport& report, uint32_t index);

  // Shows the window normally and brings it to the front.
  void bring_to_front() const;

  // The report's list; null while there is no window.
  HWND list() const;

 private:
  BOOL on_init_dialog() override;
  void on_paint() override;
  void on_command(WORD id, WORD notification, HWND control) override;
  HBRUSH on_ctl_color_static(HDC dc, HWND control) override;

  HINSTANCE instance_;
  const Look& look_;
};

}  // namespace pw
