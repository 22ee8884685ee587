#include "shell/dialog_base.h"

#include <windowsx.h>

namespace pw {

INT_PTR DialogBase::run_modal(HINSTANCE instance, int template_id, HWND owner) {
  return DialogBoxParamA(instance, MAKEINTRESOURCEA(template_id), owner, Procedure,
                         reinterpret_cast<LPARAM>(this));
}

HWND DialogBase::create_modeless(HINSTANCE instance, int template_id, HWND owner) {
  return CreateDialogParamA(instance, MAKEINTRESOURCEA(template_id), owner, Procedure,
                            reinterpret_cast<LPARAM>(this));
}

void DialogBase::on_command(WORD, WORD, HWND) {}

HBRUSH DialogBase::on_ctl_color_static(HDC, HWND) { return nullptr; }

void DialogBase::on_context_menu(POINT) {}

HBRUSH DialogBase::on_ctl_color_edit(HDC, HWND) { return nullptr; }

void DialogBase::on_size(WPARAM, int, int) {}

void DialogBase::on_get_min_max_info(MINMAXINFO&) {}

void DialogBase::on_init_menu_popup(HMENU, UINT, bool) {}

void DialogBase::on_timer(UINT_PTR) {}

bool DialogBase::on_copy_data(HWND, const COPYDATASTRUCT&) { return false; }

void DialogBase::on_private_message(UINT, WPARAM, LPARAM) {}

// Messages that arrive before WM_INITDIALOG (WM_SETFONT among them) find no
// object yet and get the default handling.
INT_PTR CALLBACK DialogBase::Procedure(HWND window, UINT message, WPARAM wparam,
                                       LPARAM lparam) {
  DialogBase* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<DialogBase*>(lparam);
    SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = window;
  } else {
    self = reinterpret_cast<DialogBase*>(GetWindowLongPtrA(window, DWLP_USER));
  }
  if (self == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, DWLP_USER, 0);
    self->hwnd_ = nullptr;
    self->on_destroyed();
    return FALSE;
  }
  return self->dispatch(message, wparam, lparam);
}

INT_PTR DialogBase::dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      return on_init_dialog();
    case WM_COMMAND:
      on_command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
      return FALSE;
    case WM_PAINT:
      on_paint();
      return FALSE;
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(
          on_ctl_color_static(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam)));
    case WM_CONTEXTMENU:
      on_context_menu(POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
      return FALSE;
    case WM_CTLCOLOREDIT:
      return reinterpret_cast<INT_PTR>(
          on_ctl_color_edit(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam)));
    case WM_SIZE:
      on_size(wparam, LOWORD(lparam), HIWORD(lparam));
      return FALSE;
    case WM_GETMINMAXINFO:
      on_get_min_max_info(*reinterpret_cast<MINMAXINFO*>(lparam));
      return FALSE;
    case WM_CLOSE:
      on_close();
      return FALSE;
    case WM_INITMENUPOPUP:
      on_init_menu_popup(reinterpret_cast<HMENU>(wparam), LOWORD(lparam), HIWORD(lparam) != 0);
      return FALSE;
    case WM_TIMER:
      on_timer(wparam);
      return FALSE;
    case WM_COPYDATA:
      // A dialog procedure hands a message's result back through
      // DWLP_MSGRESULT.
      SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT,
                        on_copy_data(reinterpret_cast<HWND>(wparam),
                                     *reinterpret_cast<const COPYDATASTRUCT*>(lparam)));
      return TRUE;
    default:
      if (message >= WM_USER && message <= 0xBFFF) on_private_message(message, wparam, lparam);
      return FALSE;
  }
}

}  // namespace pw
