// Reading and setting the main dialog's filter controls: the values the
// settings file mirrors and the fields a capture start reads. UI thread.
#pragma once

#include <windows.h>

#include <string>

#include "engine/capture_session.h"
#include "ui/interface_slots.h"
#include "ui/settings_file.h"

namespace pw {

bool Checked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool on);

// The control's text, with room for `room` characters.
std::string ControlText(HWND dialog, int id, size_t room = kSettingsValueMax);

// Places the window above all non-topmost windows, or back among them.
void PlaceOnTop(HWND dialog, bool on_top);

// Shows loaded settings in the controls ("on top" also places the window).
void ShowSettingsControls(HWND dialog, const SettingsControls& controls);

// The controls' values as the settings file stores them.
SettingsControls ReadSettingsControls(HWND dialog);

// What a start reads: the from and to fields, "both traffic" and the
// protocol boxes into the request, and with them the interface text (at
// most kInterfaceTextMax characters), which names the request's origin
// (ChooseBindAddress). The texts are kept in `controls`, which the request
// points into.
StartRequest ReadStartRequest(HWND dialog, SettingsControls& controls);

}  // namespace pw
