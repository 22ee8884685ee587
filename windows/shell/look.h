// The look of Pebblewire's dialogs: labels in dark red on the button-face
// colour, and the about text over a small hatched logo picture that carries
// the maker's name. The three brushes are made once while the main dialog
// initialises and deleted when it closes; the main dialog, the details
// window and the about box colour their static controls through
// static_brush(). UI thread only.
#pragma once

#include <windows.h>

namespace pw {

// Size of the logo picture at 96 dots per inch, which the logo brush
// repeats as a tile; at other settings it is scaled, in proportion to the
// about text (ScaledPixels).
inline constexpr int kLogoWidth = 96;
inline constexpr int kLogoHeight = 40;
// Colours of the logo picture and of the labels.
inline constexpr COLORREF kLogoLineColour = RGB(208, 208, 255);
inline constexpr COLORREF kLogoGroundColour = RGB(255, 240, 208);
inline constexpr COLORREF kLabelTextColour = RGB(160, 0, 0);
inline constexpr COLORREF kAboutTextColour = RGB(0, 0, 0);
inline constexpr char kLogoText[] = "Brindlex";

class Look {
 public:
  Look() = default;
  ~Look() { destroy(); }
  Look(const Look&) = delete;
  Look& operator=(const Look&) = delete;

  // Makes the face brush (the button-face colour as it is now), the hatch
  // brush and the logo brush. True, and ready() from then on, when all
  // three exist; the ones that were made are kept for destroy() either way.
  bool create();

  // Deletes the logo, face and hatch brushes, in that order; ready() is
  // false from then on, so that no deleted brush is handed out.
  void destroy();

  // All three brushes exist: the dialogs colour their static controls.
  bool ready() const { return ready_; }

  // WM_CTLCOLORSTATIC of the three dialogs: null while not ready (the
  // default colours apply). Otherwise the device context gets a transparent
  // background and its text colour (black for the about text, dark red for
  // every other control), and the result is the logo brush for the about
  // text, the face brush for the main dialog's labels and column captions,
  // and null (default background) for any other control.
  HBRUSH static_brush(HDC dc, HWND control) const;

 private:
  HBRUSH logo_ = nullptr;
  HBRUSH face_ = nullptr;
  HBRUSH hatch_ = nullptr;
  bool ready_ = false;
};

}  // namespace pw
