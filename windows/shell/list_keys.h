// Keys of Pebblewire's list boxes beyond the list box's own: Ctrl+C copies
// the selected entry to the clipboard as text, and in a list that asks for
// it Esc closes the dialog the list sits in (the dialog manager handles the
// keys of the modal main dialog only, not those of a modeless window). UI
// thread only.
#pragma once

#include <windows.h>

namespace pw {

// Gives `list` the keys; `escape_closes` sends IDCANCEL to its dialog on Esc.
void AddListKeys(HWND list, bool escape_closes);

// Puts the selected entry of `list` on the clipboard as text. False, with
// the clipboard unchanged, when no entry is selected or the clipboard
// cannot be opened.
bool CopyListSelection(HWND list);

}  // namespace pw
