// The about box (dialog 100): the about text over the logo picture, opened
// by the popup menu's "&about..." and once at the very first start.
#pragma once

#include <windows.h>

#include "shell/look.h"

namespace pw {

// Shows the about box modally, owned by `owner`, coloured by `look`;
// returns when it closes. UI thread only.
void ShowAboutBox(HINSTANCE instance, HWND owner, const Look& look);

}  // namespace pw
