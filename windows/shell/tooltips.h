// Tooltips of the main dialog's controls: one tooltip window per run, and a
// tool for each control that explains itself. Texts break into lines at
// each CR LF. UI thread only.
#pragma once

#include <windows.h>

namespace pw {

// Widest tip line in pixels at 96 dots per inch; wider lines wrap.
inline constexpr int kTooltipMaxWidth = 280;

// The tooltip window, created with `parent` as its parent window; its tips
// show only while the dialog is active. Null when it cannot be made (the
// controls then have no tips).
HWND CreateTooltipWindow(HWND parent);

// Adds `tool` (a control window) to `tooltip` with `text`, which must stay
// valid for as long as the tooltip exists. A failure is not reported.
void AddControlTooltip(HWND tooltip, HWND tool, const char* text);

// Gives the tool of `tool` another text, which must stay valid as above.
void SetControlTooltipText(HWND tooltip, HWND tool, const char* text);

}  // namespace pw
