#include "shell/tooltips.h"

#include <commctrl.h>

#include "shell/dpi.h"

namespace pw {

HWND CreateTooltipWindow(HWND parent) {
  InitCommonControls();
  return CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, 0, 0, 0, 0, 0, parent, nullptr,
                         nullptr, nullptr);
}

namespace {

// The record layout that ends with lParam.
TOOLINFOA ToolRecord(HWND tool, const char* text) {
  TOOLINFOA info{};
  info.cbSize = TTTOOLINFOA_V2_SIZE;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS | TTF_TRANSPARENT;
  info.hwnd = GetParent(tool);
  info.uId = reinterpret_cast<UINT_PTR>(tool);
  info.hinst = GetModuleHandleA(nullptr);
  info.lpszText = const_cast<char*>(text);
  return info;
}

}  // namespace

void AddControlTooltip(HWND tooltip, HWND tool, const char* text) {
  TOOLINFOA info = ToolRecord(tool, text);
  // With a maximum width the tip breaks its text at each CR LF.
  SendMessageA(tooltip, TTM_SETMAXTIPWIDTH, 0, ScaledPixels(kTooltipMaxWidth));
  SendMessageA(tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}

void SetControlTooltipText(HWND tooltip, HWND tool, const char* text) {
  TOOLINFOA info = ToolRecord(tool, text);
  SendMessageA(tooltip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace pw
