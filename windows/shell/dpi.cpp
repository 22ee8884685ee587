#include "shell/dpi.h"

#include <windows.h>

namespace pw {

int SystemDpi() {
  static const int dpi = [] {
    HDC screen = GetDC(nullptr);
    const int read = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return read > 0 ? read : USER_DEFAULT_SCREEN_DPI;
  }();
  return dpi;
}

int ScaledPixels(int pixels) { return MulDiv(pixels, SystemDpi(), USER_DEFAULT_SCREEN_DPI); }

}  // namespace pw
