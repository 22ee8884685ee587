#include "shell/about_box_win32.h"

#include <string>

#include "res/resource.h"
#include "shell/solid_paint_win32.h"
#include "shell/about_text.h"

namespace pw {
namespace {

// The frame around the text.
constexpr COLORREF kFrameColour = RGB(247, 9, 50);

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      static const std::string text(AboutText());
      SendDlgItemMessageA(dialog, IDC_ABOUT_TEXT, WM_SETTEXT, 0,
                          reinterpret_cast<LPARAM>(text.c_str()));
      // No control gets the focus here. Activating the box may still give
      // the text the focus, which selects all of it; the posted message
      // undoes that once the box is shown.
      PostMessageA(dialog, PW_MSG_ABOUT_SHOWN, 0, 0);
      return FALSE;
    }
    case PW_MSG_ABOUT_SHOWN: {
      HWND text = GetDlgItem(dialog, IDC_ABOUT_TEXT);
      SendMessageA(text, EM_SETSEL, 0, 0);
      SendMessageA(text, EM_SCROLLCARET, 0, 0);
      return FALSE;
    }
    case WM_PAINT:
      PaintSolidBackground(dialog, kFrameColour);
      return FALSE;
    case WM_COMMAND: {
      const WORD notification = HIWORD(wparam);
      if (notification == EN_VSCROLL || notification == EN_UPDATE) {
        // Paint the background again under the scrolled or changed text.
        InvalidateRect(reinterpret_cast<HWND>(lparam), nullptr, TRUE);
        return FALSE;
      }
      if (LOWORD(wparam) == IDCANCEL) EndDialog(dialog, 0);
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

void ShowAboutBox(HINSTANCE instance, HWND owner) {
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutDialogProc, 0);
}

}  // namespace pw
