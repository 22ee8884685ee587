// What the GUI tests share: one dialog run with its own settings folder,
// scripted source, privilege check and notification area, and the system
// answers it is given.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "gui/ini_store.h"
#include "gui/main_dialog.h"
#include "res/resource.h"
#include "support/datagram_builder.h"
#include "support/fakes.h"
#include "support/scripted_source.h"
#include "windows/dialog_harness.h"
#include "windows/tray_recorder.h"

namespace pw::test {

inline AdapterQuery TwoAdapters() {
  AdapterQuery q;
  q.listed = true;
  q.first_addresses = {"192.168.0.5", "10.1.2.3"};
  return q;
}

inline BOOL WindowsXp(OSVERSIONINFOA* v) {
  v->dwPlatformId = VER_PLATFORM_WIN32_NT;
  v->dwMajorVersion = 5;
  v->dwMinorVersion = 1;
  v->dwBuildNumber = 2600;
  lstrcpyA(v->szCSDVersion, "Service Pack 3");
  return TRUE;
}

// A settings file that switches every option off and reads nothing else.
inline const std::string kPreferencesOff = "[Config]\r\nSaveSessionPreferences=No\r\n";

// A settings file with every option on (as after a first run) and the
// controls at their start-up values.
inline const std::string kAllOptionsOn =
    "[Config]\r\nSaveSessionPreferences=Yes\r\nEnableFlipToTray=Yes\r\n"
    "EnableTrayIconAnime=Yes\r\nDataInHexViewOnlyUdp=Yes\r\nTcpDataInTextView=Yes\r\n"
    "OnTcp=Yes\r\nOnUdp=Yes\r\n";

struct Fixture {
  TempFolder folder;
  Win32IniStore store{folder.path()};
  ScriptedSource source;
  FakePrivilege privilege;
  RecordingNotifyArea tray;
  MainDialogSetup setup() {
    MainDialogSetup s;
    s.source = &source;
    s.privilege = &privilege;
    s.settings = &store;
    s.query_adapters = TwoAdapters;
    s.query_version = WindowsXp;
    s.notify_area = &tray;
    return s;
  }
};

inline std::vector<uint8_t> Udp(int n, uint16_t payload = 12) {
  return MakeDatagram({.protocol = 17, .source = "10.0.0.1", .destination = "10.0.0.2",
                       .source_port = static_cast<uint16_t>(1000 + n),
                       .destination_port = 53, .ttl = 64, .payload_length = payload});
}

inline bool Idle(const RunningDialog& d) {
  return d.enabled(IDC_GO) && !d.enabled(IDC_STOP) && d.enabled(IDC_BOTH_TRAFFIC);
}

// Captures the source's script (which ends in a block) and stops: the
// store then holds exactly the scripted datagrams that the filter passes.
inline bool CaptureAll(RunningDialog& d, ScriptedSource& source, int rows) {
  d.command(IDC_GO);
  const bool listed = WaitUntil([&] { return d.row_count() == rows && source.blocked(); });
  d.command(IDC_STOP);
  return listed && Idle(d);
}

// Minimises the window, which with flip to tray on hides it behind its
// icon; true once it is hidden.
inline bool HideInTray(const RunningDialog& d) {
  SendMessageA(d.hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  return WaitUntil([&] { return !IsWindowVisible(d.hwnd()); }, 2000);
}

// The shown popup menu window, or null when none comes.
inline HWND WaitForMenu() {
  HWND menu = nullptr;
  WaitUntil([&] {
    return (menu = FindWindowA("#32768", nullptr)) != nullptr && IsWindowVisible(menu);
  });
  return menu;
}

inline bool CloseMenu(HWND menu) {
  PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageA(menu, WM_KEYUP, VK_ESCAPE, 0);
  return WaitUntil([&] { return !IsWindowVisible(menu); });
}

// Selects row `row` of the main list and opens and closes the popup menu
// over that row, which takes the selection over as the row for the details
// command.
inline bool ChooseRow(const RunningDialog& d, int row) {
  HWND list = d.item(IDC_LIST);
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
  SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(row), 0);
  RECT item{};
  SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  POINT at{item.left + 20, (item.top + item.bottom) / 2};
  ClientToScreen(list, &at);
  PostMessageA(d.hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(at.x, at.y));
  HWND menu = WaitForMenu();
  return menu != nullptr && CloseMenu(menu);
}

// A file dialog's stand-in (save or open): answers with `path` (or cancels
// when it is empty) and keeps what it was asked with. Called on the
// dialog's UI thread while the test thread waits in SendMessage.
struct Prompt {
  static inline std::string path;
  static inline int calls = 0;
  static inline OPENFILENAMEA asked{};
  static inline std::string filter, title, folder, extension, start_name;

  static BOOL WINAPI Answer(LPOPENFILENAMEA dialog) {
    ++calls;
    asked = *dialog;
    // The filter's entries up to the empty one that ends them.
    const char* end = dialog->lpstrFilter;
    while (end[0] != '\0' || end[1] != '\0') ++end;
    filter.assign(dialog->lpstrFilter, end + 1);
    title = dialog->lpstrTitle != nullptr ? dialog->lpstrTitle : "";
    folder = dialog->lpstrInitialDir != nullptr ? dialog->lpstrInitialDir : "(null)";
    extension = dialog->lpstrDefExt != nullptr ? dialog->lpstrDefExt : "(null)";
    start_name = dialog->lpstrFile;
    if (path.empty()) return FALSE;
    lstrcpynA(dialog->lpstrFile, path.c_str(), static_cast<int>(dialog->nMaxFile));
    return TRUE;
  }
  static void Reset(std::string answer) {
    path = std::move(answer);
    calls = 0;
  }
};

// The name field of the explorer-style file dialogs.
inline constexpr int kFileDialogNameField = 0x47C;

// A path of the Linux file system as Wine's programs name it (drive Z:).
inline std::string HostPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// A dialog with these settings whose file dialogs are answered by the
// stand-in, and a network that delivers one datagram and then waits.
struct FileFixture : Fixture {
  explicit FileFixture(const std::string& settings = kPreferencesOff) {
    folder.write_ini(settings);
    source.add(Udp(0));
    source.set_at_end(ScriptedSource::AtEnd::kBlock);
  }
  MainDialogSetup prompted_setup() {
    MainDialogSetup s = setup();
    s.open_prompt = Prompt::Answer;
    s.save_prompt = Prompt::Answer;
    return s;
  }
  std::string file(const char* name) const { return folder.path() + "\\" + name; }
};

// "open capture &file..." with the open-file dialog answering `path`; true
// once the session that it started has ended.
inline bool OpenAndRead(const RunningDialog& d, const std::string& path) {
  Prompt::Reset(path);
  d.command(IDM_OPEN_CAPTURE);
  return Prompt::calls == 1 && WaitUntil([&] { return !d.enabled(IDC_STOP); });
}

// Runs `program` with `arguments` (the text after its quoted name) in
// `folder` (empty: the test's current folder) and waits for its end; its
// exit code, or -1 when it did not start or end.
inline long RunProgram(const std::string& program, const std::string& arguments,
                       const std::string& folder = "") {
  std::string command = "\"" + HostPath(program) + "\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    return -1;
  }
  DWORD code = 99;
  const bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return ended ? static_cast<long>(code) : -1;
}

}  // namespace pw::test
