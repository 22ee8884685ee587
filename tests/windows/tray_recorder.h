// A notification area for tests: records every record that the program
// hands to it, with the icon handle turned back into its resource id, and
// answers as the shell does: an add fails while the icon is there already
// (or always, when asked to refuse adds). Any thread.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <mutex>
#include <string>
#include <vector>

#include "res/resource.h"
#include "shell/tray_icon.h"

namespace pw::test {

struct TrayCall {
  DWORD message = 0;
  DWORD size = 0;
  HWND window = nullptr;
  UINT id = 0;
  UINT flags = 0;
  UINT callback = 0;
  int icon = 0;  // IDI_APP to IDI_FRAME4; 0 for none, -1 for another icon
  std::string tip;
  UINT timeout = 0;
  std::string info;
  std::string info_title;
};

class RecordingNotifyArea final : public NotifyArea {
 public:
  bool refuse_adds = false;

  BOOL notify(DWORD message, NOTIFYICONDATAA& record) override {
    TrayCall call;
    call.message = message;
    call.size = record.cbSize;
    call.window = record.hWnd;
    call.id = record.uID;
    call.flags = record.uFlags;
    call.callback = record.uCallbackMessage;
    call.icon = IconId(record.hIcon);
    call.tip = record.szTip;
    call.timeout = record.uTimeout;
    call.info = record.szInfo;
    call.info_title = record.szInfoTitle;
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
    if (message == NIM_ADD) {
      if (refuse_adds || present_) return FALSE;
      present_ = true;
    } else if (message == NIM_DELETE) {
      if (!present_) return FALSE;
      present_ = false;
    }
    return TRUE;
  }

  std::vector<TrayCall> calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  size_t count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_.size();
  }
  bool present() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return present_;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
  }

 private:
  // A shared icon has the same handle for the same resource every time.
  static int IconId(HICON icon) {
    if (icon == nullptr) return 0;
    for (int id = IDI_APP; id <= IDI_FRAME4; ++id) {
      if (SmallIcon(GetModuleHandleA(nullptr), id) == icon) return id;
    }
    return -1;
  }

  mutable std::mutex mutex_;
  std::vector<TrayCall> calls_;
  bool present_ = false;
};

}  // namespace pw::test
