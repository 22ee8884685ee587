#include "shell/solid_paint.h"

namespace pw {

void PaintSolidBackground(HWND window, COLORREF colour) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &client, brush);
  DeleteObject(brush);
  EndPaint(window, &paint);
}

}  // namespace pw
