// The notification-area icon of the main window: icon 1234 of that window,
// callback message PW_MSG_TRAY_ICON. While flip to tray is on, minimising
// the main window hides it behind the icon; the icon is also the surface of
// the capture animation.
//
// Every operation builds a fresh, zero-filled notification record (the
// layout that carries the balloon fields) and hands it to the notification
// area. The frame operations may be called from the animation thread: they
// read only what attach() set. Everything else runs on the UI thread.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <mutex>
#include <string>

#include "ui/tray_animation.h"

namespace pw {

// The tip of a freshly added icon, and the tray tip text that the animation
// shows.
inline constexpr char kTrayAddTip[] = "Pebblewire";
inline constexpr char kTrayTipText[] = "Pebblewatch";
// The balloon time-out of the animation's last update, whose empty balloon
// removes one that is showing.
inline constexpr UINT kTrayBalloonTimeout = 1500;

// Where the records go: Shell_NotifyIconA in the program, a recorder in
// tests. Called on the UI thread and on animation threads.
class NotifyArea {
 public:
  virtual BOOL notify(DWORD message, NOTIFYICONDATAA& record) = 0;

 protected:
  ~NotifyArea() = default;
};

// Shell_NotifyIconA.
NotifyArea& SystemNotifyArea();

// Icon `id` of `instance` in the system's small-icon size, which follows
// its dots per inch (16 pixels at 100 %, 24 at 150 %): the image drawn for
// that size. A shared icon, never destroyed.
HICON SmallIcon(HINSTANCE instance, int id);

class TrayIcon final : public TrayFrames {
 public:
  TrayIcon(HINSTANCE instance, NotifyArea& area) : instance_(instance), area_(area) {}

  // The window that owns the icon; before any other call.
  void attach(HWND window) { window_ = window; }

  // FlipToTray: adds the icon (frame 113, tip "Pebblewire", with the
  // callback message), minimises the window and, when the icon was added,
  // hides it; hidden() is true afterwards in every case.
  void flip_to_tray();
  // RestoreFromTray: shows and restores the window; the icon stays.
  void restore_from_tray();
  // RemoveTrayIcon: deletes the icon, whether it exists or not.
  void remove() const;

  // SetTrayFrameWithTip, SetTrayFrame and EndTrayAnimation, by icon id.
  void set_frame_with_tip(int icon_id) const;
  void set_frame(int icon_id) const;
  void end_animation(int icon_id) const;

  // The tip that the animation shows instead of kTrayTipText (empty: that
  // one), shown at once when `now`. UI thread.
  void set_running_tip(const std::string& tip, bool now);

  // TrayFrames: frame k is icon IDI_FRAME1 + k.
  void show_frame(int frame, bool with_tip) override;
  void end_animation() override;

  // The hidden-in-tray flag: the window is hidden with its icon shown.
  bool hidden() const { return hidden_; }
  void set_hidden(bool hidden) { hidden_ = hidden; }

 private:
  NOTIFYICONDATAA record(UINT flags, int icon_id, const char* tip) const;
  // The animation's tip: the running tip, or kTrayTipText.
  NOTIFYICONDATAA running_record(UINT flags, int icon_id) const;

  HINSTANCE instance_;
  NotifyArea& area_;
  HWND window_ = nullptr;
  bool hidden_ = false;
  mutable std::mutex tip_lock_;  // the animation threads read the running tip
  std::string running_tip_;
};

}  // namespace pw
