// The popup menu (menu 103, its submenu at position 0), shown by the main
// window on a right click or the menu key and by the notification icon on a
// right click. It is loaded from the resource at every showing and destroyed
// right after, so each showing starts with nothing checked or greyed; the
// check marks of the options and the file commands' check and grey states
// are set when it opens (MarkOptions, MarkFileCommands). The chosen
// item reaches the owner as WM_COMMAND. UI thread only.
#pragma once

#include <windows.h>

#include "ui/settings_record.h"

namespace pw {

// How far right of and below the window's top-left corner the menu opens
// when it was asked for from the keyboard.
inline constexpr int kKeyboardMenuOffset = 5;

// The main window's context menu at `where` (screen coordinates); items can
// be chosen with either mouse button.
void ShowContextMenu(HINSTANCE instance, HWND owner, POINT where);

// ShowTrayMenu: the same menu at the cursor, items chosen with the left
// button. The owner comes to the foreground first, so that the menu closes
// when the user clicks elsewhere. Nothing is shown when the menu cannot be
// loaded.
void ShowTrayMenu(HINSTANCE instance, HWND owner);

// The check and grey rules of the options: "&tray icon anime" is greyed
// (and unchecked) while flip to tray is off; every other option is checked
// when its flag is set. Items are found by command id, so this reaches the
// nested submenus too.
void MarkOptions(HMENU menu, const SettingsRecord& settings);

// "open capture &file..." is greyed while it cannot start a session (one
// runs already); "capture &into file..." is checked while a file is chosen
// to capture into, and greyed while a session runs.
void MarkFileCommands(HMENU menu, bool can_open, bool capturing_into, bool running);

}  // namespace pw
