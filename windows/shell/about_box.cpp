#include "shell/about_box.h"

#include <string>

#include "res/resource.h"
#include "shell/dialog_base.h"
#include "shell/solid_paint.h"
#include "ui/about_text.h"

namespace pw {
namespace {

// The frame around the text.
constexpr COLORREF kFrameColour = RGB(247, 9, 50);

class AboutBox final : public DialogBase {
 public:
  explicit AboutBox(const Look& look) : look_(look) {}

  void run(HINSTANCE instance, HWND owner) { run_modal(instance, IDD_ABOUT, owner); }

 private:
  BOOL on_init_dialog() override {
    static const std::string text(AboutText());
    SendDlgItemMessageA(hwnd(), IDC_ABOUT_TEXT, WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(text.c_str()));
    // No control gets the focus here. Activating the box may still give the
    // text the focus, which selects all of it; the posted message undoes
    // that once the box is shown.
    PostMessageA(hwnd(), PW_MSG_ABOUT_SHOWN, 0, 0);
    return FALSE;
  }

  void on_private_message(UINT message, WPARAM, LPARAM) override {
    if (message != PW_MSG_ABOUT_SHOWN) return;
    HWND text = GetDlgItem(hwnd(), IDC_ABOUT_TEXT);
    SendMessageA(text, EM_SETSEL, 0, 0);
    SendMessageA(text, EM_SCROLLCARET, 0, 0);
  }

  void on_paint() override { PaintSolidBackground(hwnd(), kFrameColour); }

  HBRUSH on_ctl_color_static(HDC dc, HWND control) override {
    return look_.static_brush(dc, control);
  }

  // The notifications come before the commands: a scrolled or changed text
  // gets its logo background painted again under it.
  void on_command(WORD id, WORD notification, HWND control) override {
    if (notification == EN_VSCROLL || notification == EN_UPDATE) {
      InvalidateRect(control, nullptr, TRUE);
      return;
    }
    if (id == IDCANCEL) EndDialog(hwnd(), 0);
  }

  const Look& look_;
};

}  // namespace

void ShowAboutBox(HINSTANCE instance, HWND owner, const Look& look) {
  AboutBox box(look);
  box.run(instance, owner);
}

}  // namespace pw
