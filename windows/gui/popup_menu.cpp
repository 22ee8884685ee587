#include "gui/popup_menu.h"

#include "res/resource.h"

namespace pw {
namespace {

// Menu 103, loaded for one showing.
class LoadedMenu {
 public:
  explicit LoadedMenu(HINSTANCE instance)
      : menu_(LoadMenuA(instance, MAKEINTRESOURCEA(IDR_POPUP_MENU))) {}
  ~LoadedMenu() {
    if (menu_ != nullptr) DestroyMenu(menu_);
  }
  LoadedMenu(const LoadedMenu&) = delete;
  LoadedMenu& operator=(const LoadedMenu&) = delete;

  // The submenu that is shown; null when the menu could not be loaded.
  HMENU popup() const { return menu_ != nullptr ? GetSubMenu(menu_, 0) : nullptr; }

 private:
  HMENU menu_;
};

void Check(HMENU menu, UINT id, bool on) {
  CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

}  // namespace

void ShowContextMenu(HINSTANCE instance, HWND owner, POINT where) {
  const LoadedMenu menu(instance);
  if (menu.popup() == nullptr) return;
  TrackPopupMenu(menu.popup(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, where.x, where.y,
                 0, owner, nullptr);
}

void ShowTrayMenu(HINSTANCE instance, HWND owner) {
  const LoadedMenu menu(instance);
  if (menu.popup() == nullptr) return;
  SetForegroundWindow(owner);
  POINT cursor{};
  GetCursorPos(&cursor);
  TrackPopupMenu(menu.popup(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y,
                 0, owner, nullptr);
}

void MarkOptions(HMENU menu, const SettingsRecord& settings) {
  Check(menu, IDM_SAVE_PREFERENCES, settings.SaveSessionPreferences);
  Check(menu, IDM_FLIP_TO_TRAY, settings.EnableFlipToTray);
  if (!settings.EnableFlipToTray) {
    EnableMenuItem(menu, IDM_TRAY_ICON_ANIME, MF_BYCOMMAND | MF_GRAYED);
  } else {
    Check(menu, IDM_TRAY_ICON_ANIME, settings.EnableTrayIconAnime);
  }
  Check(menu, IDM_HEX_ONLY_UDP, settings.DataInHexViewOnlyUdp);
  Check(menu, IDM_HEX_TCP_AND_UDP, settings.DataInHexViewTcpAndUdp);
  Check(menu, IDM_TCP_TEXT_VIEW, settings.TcpDataInTextView);
  Check(menu, IDM_TCP_ASCII_VIEW, settings.TcpDataInAsciiView);
}

void MarkFileCommands(HMENU menu, bool can_open, bool capturing_into, bool running) {
  EnableMenuItem(menu, IDM_OPEN_CAPTURE, MF_BYCOMMAND | (can_open ? MF_ENABLED : MF_GRAYED));
  Check(menu, IDM_CAPTURE_TO_FILE, capturing_into);
  EnableMenuItem(menu, IDM_CAPTURE_TO_FILE, MF_BYCOMMAND | (running ? MF_GRAYED : MF_ENABLED));
}

}  // namespace pw
