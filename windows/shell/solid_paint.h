// Paints a dialog's whole client area in one colour (WM_PAINT of the main
// dialog, the details window and the about box).
#pragma once

#include <windows.h>

namespace pw {

// Between BeginPaint and EndPaint, with a brush made for this paint only.
void PaintSolidBackground(HWND window, COLORREF colour);

}  // namespace pw
