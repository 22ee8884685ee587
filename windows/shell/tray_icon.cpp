#include "shell/tray_icon.h"

#include "res/resource.h"

namespace pw {
namespace {

class ShellNotifyArea final : public NotifyArea {
 public:
  BOOL notify(DWORD message, NOTIFYICONDATAA& record) override {
    return Shell_NotifyIconA(message, &record);
  }
};

}  // namespace

NotifyArea& SystemNotifyArea() {
  static ShellNotifyArea area;
  return area;
}

HICON SmallIcon(HINSTANCE instance, int id) {
  return static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON,
                                       GetSystemMetrics(SM_CXSMICON),
                                       GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

NOTIFYICONDATAA TrayIcon::record(UINT flags, int icon_id, const char* tip) const {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V2_SIZE;
  data.hWnd = window_;
  data.uID = PW_TRAY_ICON_ID;
  data.uFlags = flags;
  data.hIcon = SmallIcon(instance_, icon_id);
  if (tip != nullptr) lstrcpynA(data.szTip, tip, sizeof data.szTip);
  return data;
}

NOTIFYICONDATAA TrayIcon::running_record(UINT flags, int icon_id) const {
  std::lock_guard<std::mutex> lock(tip_lock_);
  return record(flags, icon_id, running_tip_.empty() ? kTrayTipText : running_tip_.c_str());
}

void TrayIcon::set_running_tip(const std::string& tip, bool now) {
  {
    std::lock_guard<std::mutex> lock(tip_lock_);
    running_tip_ = tip;
  }
  if (!now) return;
  NOTIFYICONDATAA data = running_record(NIF_TIP, IDI_FRAME1);
  area_.notify(NIM_MODIFY, data);
}

void TrayIcon::flip_to_tray() {
  NOTIFYICONDATAA data = record(NIF_MESSAGE | NIF_ICON | NIF_TIP, IDI_FRAME1, kTrayAddTip);
  data.uCallbackMessage = PW_MSG_TRAY_ICON;
  const BOOL added = area_.notify(NIM_ADD, data);
  ShowWindow(window_, SW_MINIMIZE);
  if (added) ShowWindow(window_, SW_HIDE);
  hidden_ = true;
}

void TrayIcon::restore_from_tray() {
  ShowWindow(window_, SW_SHOW);
  ShowWindow(window_, SW_RESTORE);
  hidden_ = false;
}

void TrayIcon::remove() const {
  NOTIFYICONDATAA data = record(0, IDI_APP, nullptr);
  area_.notify(NIM_DELETE, data);
}

void TrayIcon::set_frame_with_tip(int icon_id) const {
  NOTIFYICONDATAA data = running_record(NIF_ICON | NIF_TIP, icon_id);
  area_.notify(NIM_MODIFY, data);
}

void TrayIcon::set_frame(int icon_id) const {
  NOTIFYICONDATAA data = record(NIF_ICON, icon_id, nullptr);
  area_.notify(NIM_MODIFY, data);
}

void TrayIcon::end_animation(int icon_id) const {
  NOTIFYICONDATAA data = running_record(NIF_ICON | NIF_TIP | NIF_INFO, icon_id);
  data.uTimeout = kTrayBalloonTimeout;
  area_.notify(NIM_MODIFY, data);
}

void TrayIcon::show_frame(int frame, bool with_tip) {
  const int icon_id = IDI_FRAME1 + frame;
  if (with_tip) {
    set_frame_with_tip(icon_id);
  } else {
    set_frame(icon_id);
  }
}

void TrayIcon::end_animation() { end_animation(IDI_FRAME1); }

}  // namespace pw
