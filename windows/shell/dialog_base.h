// The base of Pebblewire's dialogs (the main dialog, the details window and
// the about box). One static dialog procedure serves them all: it takes the
// object from the creation parameter of WM_INITDIALOG, keeps it in the
// window's DWLP_USER slot, and hands each message to a short typed handler.
// A handler that is not overridden leaves its message to the dialog
// manager's default handling. UI thread only.
#pragma once

#include <windows.h>

namespace pw {

class DialogBase {
 public:
  DialogBase(const DialogBase&) = delete;
  DialogBase& operator=(const DialogBase&) = delete;

  // The dialog's window; null before WM_INITDIALOG and after the window
  // has been destroyed.
  HWND hwnd() const { return hwnd_; }

 protected:
  DialogBase() = default;
  // The window must be gone before the object: a modal dialog has ended,
  // a modeless one has been destroyed (or dies with its owner first).
  virtual ~DialogBase() = default;

  // Runs dialog `template_id` modally; returns EndDialog's result, or -1
  // when the dialog could not be created.
  INT_PTR run_modal(HINSTANCE instance, int template_id, HWND owner);
  // Creates dialog `template_id` without showing it (unless its template
  // says WS_VISIBLE); null when that fails.
  HWND create_modeless(HINSTANCE instance, int template_id, HWND owner);

  // WM_INITDIALOG. The result is the message's: TRUE lets the dialog
  // manager give the focus to the first control.
  virtual BOOL on_init_dialog() { return TRUE; }
  // WM_COMMAND: the command id, the notification code and the control.
  virtual void on_command(WORD id, WORD notification, HWND control);
  // WM_PAINT. Painting nothing leaves it to the default handling.
  virtual void on_paint() {}
  // WM_CTLCOLORSTATIC: the brush for the control's background, or null
  // for the default colours.
  virtual HBRUSH on_ctl_color_static(HDC dc, HWND control);
  // WM_CTLCOLOREDIT (also of the edit field of a combo box, which hands it
  // on to the dialog): as on_ctl_color_static.
  virtual HBRUSH on_ctl_color_edit(HDC dc, HWND control);
  // WM_CONTEXTMENU: the point in screen coordinates ((-1, -1) when the
  // menu was asked for from the keyboard).
  virtual void on_context_menu(POINT where);
  // WM_SIZE: the kind of change (SIZE_MINIMIZED, SIZE_RESTORED, ...) and
  // the new size of the client area in pixels.
  virtual void on_size(WPARAM kind, int width, int height);
  // WM_GETMINMAXINFO: the sizes the user may give the window.
  virtual void on_get_min_max_info(MINMAXINFO& info);
  virtual void on_close() {}
  // WM_INITMENUPOPUP: the popup about to open; `window_menu` is true for
  // the system menu, `position` is the popup's position in its parent.
  virtual void on_init_menu_popup(HMENU popup, UINT position, bool window_menu);
  virtual void on_timer(UINT_PTR id);
  // WM_COPYDATA: data that another window (of this or another process)
  // sends; `sender` may be null. It is valid during the call only. The
  // result goes back to the sender: true when the data was taken.
  virtual bool on_copy_data(HWND sender, const COPYDATASTRUCT& data);
  // Messages of the private range (WM_USER and up) that the dialog uses.
  virtual void on_private_message(UINT message, WPARAM wparam, LPARAM lparam);
  // WM_NCDESTROY, the window's last message; hwnd() is null afterwards.
  virtual void on_destroyed() {}

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR dispatch(UINT message, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
};

}  // namespace pw
