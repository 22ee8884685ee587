#include "shell/list_keys.h"

#include <commctrl.h>

#include <cstring>
#include <string>

namespace pw {
namespace {

constexpr UINT_PTR kListKeysId = 1;
// The character that Ctrl+C becomes on every keyboard layout.
constexpr WPARAM kCopyCharacter = 3;

// False when no entry is selected.
bool SelectedEntry(HWND list, std::string& text) {
  const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (selected < 0) return false;
  const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(selected), 0);
  if (length < 0) return false;
  text.assign(static_cast<size_t>(length) + 1, '\0');
  const LRESULT copied = SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(selected),
                                      reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return true;
}

// The clipboard owns the memory once SetClipboardData has taken it.
bool PutOnClipboard(HWND owner, const std::string& text) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (memory == nullptr) return false;
  void* bytes = GlobalLock(memory);
  if (bytes == nullptr) {
    GlobalFree(memory);
    return false;
  }
  std::memcpy(bytes, text.c_str(), text.size() + 1);
  GlobalUnlock(memory);
  if (!OpenClipboard(owner)) {
    GlobalFree(memory);
    return false;
  }
  EmptyClipboard();
  const bool put = SetClipboardData(CF_TEXT, memory) != nullptr;
  CloseClipboard();
  if (!put) GlobalFree(memory);
  return put;
}

LRESULT CALLBACK ListKeys(HWND list, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                          DWORD_PTR escape_closes) {
  switch (message) {
    case WM_CHAR:
      if (wparam != kCopyCharacter) break;
      if (!CopyListSelection(list)) MessageBeep(MB_OK);
      return 0;
    case WM_KEYDOWN:
      if (wparam != VK_ESCAPE || escape_closes == 0) break;
      // Posted: the dialog destroys the list with itself.
      PostMessageA(GetParent(list), WM_COMMAND, IDCANCEL, 0);
      return 0;
    case WM_NCDESTROY:
      RemoveWindowSubclass(list, ListKeys, kListKeysId);
      break;
    default:
      break;
  }
  return DefSubclassProc(list, message, wparam, lparam);
}

}  // namespace

void AddListKeys(HWND list, bool escape_closes) {
  SetWindowSubclass(list, ListKeys, kListKeysId, escape_closes ? 1 : 0);
}

bool CopyListSelection(HWND list) {
  std::string entry;
  return SelectedEntry(list, entry) && PutOnClipboard(list, entry);
}

}  // namespace pw
