// Runs the real main dialog on a UI thread of its own, so that a test can
// drive it with messages from the test thread and read its controls back.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/capture_store.h"
#include "gui/main_dialog.h"
#include "support/fakes.h"

namespace pw::test {

// Polls `done` until it holds or `ms` milliseconds have passed.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 20000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Sleep(2);
  }
  return true;
}

// A folder of its own under the temporary folder, removed with everything
// in it at the end of the test: it stands in for the application-data folder.
class TempFolder {
 public:
  TempFolder() {
    static int serial = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "pw-gui-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++serial);
    Remove(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempFolder() { Remove(path_); }
  const std::string& path() const { return path_; }
  std::string gravlin() const { return path_ + "\\Gravlin"; }
  std::string ini() const { return gravlin() + "\\gravlin.ini"; }

  // Writes the settings file with these lines (folder created).
  void write_ini(const std::string& text) const;

  // The settings file's key=value lines of section Config, in file order.
  std::vector<std::pair<std::string, std::string>> ini_lines() const {
    std::vector<std::pair<std::string, std::string>> lines;
    HANDLE f = CreateFileA(ini().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return lines;
    std::string text(65536, '\0');
    DWORD read = 0;
    ReadFile(f, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(f);
    text.resize(read);
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(at, end - at);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t eq = line.find('=');
      if (eq != std::string::npos) lines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
      at = end + 1;
    }
    return lines;
  }

  std::map<std::string, std::string> ini_values() const {
    std::map<std::string, std::string> values;
    for (const auto& [key, value] : ini_lines()) values[key] = value;
    return values;
  }

 private:
  static void Remove(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string child = path + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          Remove(child);
        } else {
          SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileA(child.c_str());
        }
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
  }

  std::string path_;
};

// Makes the file `path` hold exactly `bytes`.
inline void WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(f);
}

inline void TempFolder::write_ini(const std::string& text) const {
  CreateDirectoryA(gravlin().c_str(), nullptr);
  WriteBytes(ini(), text);
}

// The whole content of the file `path`; "(missing)" when it cannot be read.
inline std::string FileText(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "(missing)";
  std::string text(GetFileSize(f, nullptr), '\0');
  DWORD read = 0;
  ::ReadFile(f, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
  CloseHandle(f);
  text.resize(read);
  return text;
}

// A top-level window of `thread` with exactly this title, or null.
inline HWND ThreadWindow(DWORD thread, const char* title) {
  struct Search {
    const char* title;
    HWND found;
  } search{title, nullptr};
  EnumThreadWindows(
      thread,
      [](HWND hwnd, LPARAM lparam) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lparam);
        char text[256] = {};
        GetWindowTextA(hwnd, text, sizeof text);
        if (std::string(text) == s->title) {
          s->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

inline std::string WindowText(HWND hwnd) {
  char text[2048] = {};
  GetWindowTextA(hwnd, text, sizeof text);
  return text;
}

inline std::string ListEntry(HWND list, int index) {
  const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, index, 0);
  if (length < 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

inline std::vector<std::string> ListEntries(HWND list) {
  std::vector<std::string> entries;
  const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) entries.push_back(ListEntry(list, static_cast<int>(i)));
  return entries;
}

// Closes the message box with this caption that `thread` shows and returns
// its text; "(no message box)" when none comes.
inline std::string AnswerMessageBox(DWORD thread, const char* caption, int ms = 20000) {
  HWND box = nullptr;
  if (!WaitUntil([&] { return (box = ThreadWindow(thread, caption)) != nullptr; }, ms)) {
    return "(no message box)";
  }
  const std::string text = WindowText(GetDlgItem(box, 0xFFFF));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  WaitUntil([&] { return !IsWindow(box); });
  return text;
}

// Runs the real main dialog on a UI thread of its own with a capture store
// of its own. The MainDialog object outlives its window, so that a test can
// read the program's state after the dialog has ended.
class RunningDialog {
 public:
  // Starts the dialog and waits until it has settled (wait_until_settled). With
  // `first_run` the about box is expected during initialisation; its text is
  // kept and the box closed.
  explicit RunningDialog(const MainDialogSetup& setup, bool first_run = false)
      : store_(std::make_unique<CaptureStore>()),
        program_(std::make_unique<MainDialog>(GetModuleHandleA(nullptr), setup, *store_)) {
    ui_ = std::thread([this] {
      thread_id_ = GetCurrentThreadId();
      ProgressHooks hooks(progress_);
      program_->run();
      ended_ = true;
    });
    WaitUntil([this] { return thread_id_ != 0; });
    if (first_run) close_about_box();
    wait_until_settled();
  }

  ~RunningDialog() {
    if (!ended_ && hwnd_ != nullptr) PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    if (ui_.joinable()) ui_.join();
  }

  MainDialog& program() { return *program_; }
  ProgramState& state() { return program_->state(); }
  CaptureStore& store() { return *store_; }
  HWND hwnd() const { return hwnd_; }
  DWORD thread_id() const { return thread_id_; }
  bool ended() const { return ended_; }
  HWND about_box() const { return about_box_; }
  const std::string& about_text() const { return about_text_; }
  HWND item(int id) const { return GetDlgItem(hwnd_, id); }

  void command(int id) const {
    SendMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(item(id)));
  }

  // Closes the window and waits until the dialog has ended.
  void close() {
    SendMessageA(hwnd_, WM_CLOSE, 0, 0);
    join();
  }
  void join() {
    if (ui_.joinable()) ui_.join();
  }

  std::vector<std::string> rows() const { return ListEntries(item(1003)); }
  int row_count() const { return static_cast<int>(SendMessageA(item(1003), LB_GETCOUNT, 0, 0)); }
  std::string row(int index) const { return ListEntry(item(1003), index); }
  std::vector<std::string> combo_items(int id) const {
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(item(id), CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      char text[512] = {};
      SendMessageA(item(id), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
      items.push_back(text);
    }
    return items;
  }
  std::string text(int id) const { return WindowText(item(id)); }
  bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }
  bool checked(int id) const {
    return SendMessageA(item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  // The control that has the keyboard focus on the dialog's thread; for a
  // combo box its edit field has it, so the combo is returned then.
  HWND focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(thread_id_, &info)) return nullptr;
    HWND focus = info.hwndFocus;
    HWND parent = focus != nullptr ? GetParent(focus) : nullptr;
    if (parent != nullptr && parent != hwnd_) return parent;
    return focus;
  }
  bool topmost() const {
    return (GetWindowLongA(hwnd_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  }

 private:
  // Where the UI thread is on its way to the first quiet moment: the main
  // dialog's WM_INITDIALOG has returned, the dialog manager has displayed
  // the dialog (a window positioned with SWP_SHOWWINDOW after the
  // initialisation), and the marker that the test posted after that has
  // been taken from the queue, so that whatever the display posted has
  // been handled.
  struct Progress {
    std::atomic<bool> initialised{false};
    std::atomic<bool> displayed{false};
    std::atomic<bool> marker_taken{false};
    HWND dialog = nullptr;  // UI thread only
  };
  static constexpr LPARAM kMarker = 0x5057;  // lParam of the posted WM_NULL

  // Hooks on the UI thread that follow Progress.
  class ProgressHooks {
   public:
    explicit ProgressHooks(Progress& progress) {
      progress_ = &progress;
      sent_ = SetWindowsHookExA(WH_CALLWNDPROCRET, Sent, nullptr, GetCurrentThreadId());
      taken_ = SetWindowsHookExA(WH_GETMESSAGE, Taken, nullptr, GetCurrentThreadId());
    }
    ~ProgressHooks() {
      UnhookWindowsHookEx(sent_);
      UnhookWindowsHookEx(taken_);
    }

   private:
    static LRESULT CALLBACK Sent(int code, WPARAM wparam, LPARAM lparam) {
      const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
      if (code >= 0 && sent->message == WM_INITDIALOG && WindowText(sent->hwnd) == "Pebblewire") {
        progress_->dialog = sent->hwnd;
        progress_->initialised = true;
      }
      if (code >= 0 && sent->message == WM_WINDOWPOSCHANGED && progress_->initialised &&
          sent->hwnd == progress_->dialog &&
          (reinterpret_cast<const WINDOWPOS*>(sent->lParam)->flags & SWP_SHOWWINDOW)) {
        progress_->displayed = true;
      }
      return CallNextHookEx(nullptr, code, wparam, lparam);
    }
    static LRESULT CALLBACK Taken(int code, WPARAM wparam, LPARAM lparam) {
      const auto* message = reinterpret_cast<const MSG*>(lparam);
      if (code >= 0 && wparam == PM_REMOVE && message->message == WM_NULL &&
          message->lParam == kMarker) {
        progress_->marker_taken = true;
      }
      return CallNextHookEx(nullptr, code, wparam, lparam);
    }
    static inline thread_local Progress* progress_ = nullptr;
    HHOOK sent_;
    HHOOK taken_;
  };

  // Waits until the dialog has been initialised and displayed and what the
  // display set off has been handled.
  void wait_until_settled() {
    WaitUntil([this] { return progress_.initialised || ended_; });
    hwnd_ = ThreadWindow(thread_id_, "Pebblewire");
    if (hwnd_ == nullptr) return;
    WaitUntil([this] { return progress_.displayed || ended_; });
    PostMessageA(hwnd_, WM_NULL, 0, kMarker);
    WaitUntil([this] { return progress_.marker_taken || ended_; });
    SendMessageA(hwnd_, WM_NULL, 0, 0);
  }

  void close_about_box() {
    HWND about = nullptr;
    WaitUntil([&] { return (about = ThreadWindow(thread_id_, "about 'Pebblewire'")) != nullptr; });
    about_box_ = about;
    if (about == nullptr) return;
    WaitUntil([&] { return IsWindowVisible(about) != FALSE; });
    about_text_ = WindowText(GetDlgItem(about, 1018));
    PostMessageA(about, WM_COMMAND, IDCANCEL, 0);
  }

  std::unique_ptr<CaptureStore> store_;
  std::unique_ptr<MainDialog> program_;
  std::thread ui_;
  std::atomic<DWORD> thread_id_{0};
  Progress progress_;
  std::atomic<bool> ended_{false};
  HWND hwnd_ = nullptr;
  HWND about_box_ = nullptr;
  std::string about_text_;
};

}  // namespace pw::test
