#include "shell/look.h"

#include <initializer_list>

#include "res/resource.h"
#include "shell/dpi.h"

namespace pw {
namespace {

// The framed white rectangle of the logo picture and its pen, at 96 dots
// per inch.
constexpr RECT kLogoFrame = {6, 4, 94, 36};
constexpr int kLogoPenWidth = 2;

// Draws the logo picture into `dc`, which holds a bitmap of `width` by
// `height` pixels.
void DrawLogo(HDC dc, HBRUSH hatch, int width, int height) {
  SetBkColor(dc, kLogoGroundColour);
  const RECT all = {0, 0, width, height};
  FillRect(dc, &all, hatch);

  // The frame is filled with the memory device context's default brush,
  // which is white.
  HPEN pen = CreatePen(PS_SOLID, ScaledPixels(kLogoPenWidth), kLogoLineColour);
  HGDIOBJ old_pen = SelectObject(dc, pen);
  Rectangle(dc, ScaledPixels(kLogoFrame.left), ScaledPixels(kLogoFrame.top),
            ScaledPixels(kLogoFrame.right), ScaledPixels(kLogoFrame.bottom));
  SelectObject(dc, old_pen);
  DeleteObject(pen);

  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kLogoLineColour);
  SIZE extent{};
  const int length = static_cast<int>(sizeof kLogoText - 1);
  GetTextExtentPoint32A(dc, kLogoText, length, &extent);
  TextOutA(dc, (width - extent.cx) / 2, (height - extent.cy) / 2, kLogoText, length);
}

// The logo picture as a pattern brush; null when it cannot be made.
HBRUSH MakeLogoBrush(HBRUSH hatch) {
  const int width = ScaledPixels(kLogoWidth);
  const int height = ScaledPixels(kLogoHeight);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  HBRUSH logo = nullptr;
  if (dc != nullptr && bitmap != nullptr) {
    HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
    DrawLogo(dc, hatch, width, height);
    SelectObject(dc, old_bitmap);
    logo = CreatePatternBrush(bitmap);
  }
  if (dc != nullptr) DeleteDC(dc);
  if (bitmap != nullptr) DeleteObject(bitmap);
  return logo;
}

bool IsLabel(int id) { return id >= IDC_LABEL_FROM && id <= IDC_CAPTION_TTL; }

}  // namespace

bool Look::create() {
  destroy();
  face_ = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  hatch_ = CreateHatchBrush(HS_FDIAGONAL, kLogoLineColour);
  if (hatch_ != nullptr) logo_ = MakeLogoBrush(hatch_);
  ready_ = logo_ != nullptr && face_ != nullptr && hatch_ != nullptr;
  return ready_;
}

void Look::destroy() {
  ready_ = false;
  for (HBRUSH* brush : {&logo_, &face_, &hatch_}) {
    if (*brush != nullptr) DeleteObject(*brush);
    *brush = nullptr;
  }
}

HBRUSH Look::static_brush(HDC dc, HWND control) const {
  if (!ready_) return nullptr;
  const int id = GetDlgCtrlID(control);
  SetBkMode(dc, TRANSPARENT);
  if (id == IDC_ABOUT_TEXT) {
    SetTextColor(dc, kAboutTextColour);
    return logo_;
  }
  SetTextColor(dc, kLabelTextColour);
  return IsLabel(id) ? face_ : nullptr;
}

}  // namespace pw
