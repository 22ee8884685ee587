// Shows the real main dialog with a few scripted rows, for screenshots.
//   pw_gui_demo.exe FOLDER [about|menu]
//   pw_gui_demo.exe FOLDER file CAPTURE
// FOLDER stands in for the application-data folder: without a settings file
// there, the about box opens first and closes by itself after eight seconds
// (and flip to tray, on by default, starts the window in the notification
// area, from where it is shown again). Once the main window is there, "go!"
// is pressed, six datagrams are listed, and the details window shows the
// third; with "about" the about box opens over it, with "menu" the popup
// menu opens over the third row as a right click opens it. With "file", the capture
// file CAPTURE is opened as the program opens its command line's file, and
// the details window shows its third datagram. The window stays until
// closed.
#include <windows.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <thread>

#include "gui/ini_store.h"
#include "gui/main_dialog.h"
#include "res/resource.h"
#include "support/datagram_builder.h"
#include "support/fakes.h"
#include "support/scripted_source.h"

namespace {

using pw::test::MakeDatagram;

void Script(pw::test::ScriptedSource& source) {
  source.add(MakeDatagram({.protocol = 6, .source = "192.168.0.5", .destination = "93.184.216.34",
                           .source_port = 49822, .destination_port = 443, .ttl = 128, .payload_length = 517}));
  source.add(MakeDatagram({.protocol = 6, .source = "93.184.216.34", .destination = "192.168.0.5",
                           .source_port = 443, .destination_port = 49822, .ttl = 56, .payload_length = 1460}));
  source.add(MakeDatagram({.protocol = 17, .source = "192.168.0.5", .destination = "192.168.0.1",
                           .source_port = 53124, .destination_port = 53, .ttl = 128, .payload_length = 33}));
  source.add(MakeDatagram({.protocol = 17, .source = "192.168.0.1", .destination = "192.168.0.5",
                           .source_port = 53, .destination_port = 53124, .ttl = 64, .payload_length = 49}));
  source.add(MakeDatagram({.protocol = 1, .source = "192.168.0.5", .destination = "192.168.0.1",
                           .ttl = 128, .payload_length = 32}));
  source.add(MakeDatagram({.protocol = 2, .source = "192.168.0.7", .destination = "224.0.0.22",
                           .ttl = 1}));
  source.set_at_end(pw::test::ScriptedSource::AtEnd::kBlock);
}

// Drives the dialog from another thread, as a user would.
enum class Extra { kNone, kAbout, kMenu };

// A right click on the third row of the list.
void RightClickThirdRow(HWND main) {
  HWND list = GetDlgItem(main, IDC_LIST);
  RECT row{};
  SendMessageA(list, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row));
  POINT at{row.left + 40, (row.top + row.bottom) / 2};
  ClientToScreen(list, &at);
  PostMessageA(main, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(at.x, at.y));
}

void Press(pw::MainDialog& program, Extra extra, bool file) {
  HWND main = nullptr;
  for (int i = 0; i < 6000 && main == nullptr; ++i) {
    main = FindWindowA(nullptr, pw::kMainWindowTitle);
    Sleep(10);
  }
  if (main == nullptr) return;
  // A first start shows the about box while the main window initialises.
  Sleep(1000);
  HWND box = FindWindowA(nullptr, "about 'Pebblewire'");
  if (box != nullptr && IsWindowVisible(box)) {
    Sleep(8000);
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    Sleep(1000);
  }
  // Back from the notification area with a left click on the icon.
  if (!IsWindowVisible(main)) SendMessageA(main, PW_MSG_TRAY_ICON, PW_TRAY_ICON_ID, WM_LBUTTONDOWN);
  if (!file) {
    SendDlgItemMessageA(main, IDC_ICMP, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageA(main, IDC_IGMP, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(main, WM_COMMAND, IDC_GO, 0);
  }
  const LRESULT rows = file ? 3 : 6;
  for (int i = 0; i < 500 && SendDlgItemMessageA(main, IDC_LIST, LB_GETCOUNT, 0, 0) < rows; ++i) {
    Sleep(10);
  }
  // Room on the right for the details window.
  SetWindowPos(main, nullptr, 40, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SendDlgItemMessageA(main, IDC_LIST, LB_SETCURSEL, 2, 0);
  program.state().selected_index = 2;
  SendMessageA(main, WM_COMMAND, IDM_DETAILS, 0);
  if (extra == Extra::kAbout) PostMessageA(main, WM_COMMAND, IDM_ABOUT, 0);
  if (extra == Extra::kMenu) RightClickThirdRow(main);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  std::string folder = command_line != nullptr ? command_line : "";
  Extra extra = Extra::kNone;
  for (const auto& [word, kind] : {std::pair{" about", Extra::kAbout}, std::pair{" menu", Extra::kMenu}}) {
    const std::string_view w = word;
    if (folder.size() > w.size() && folder.compare(folder.size() - w.size(), w.size(), w) == 0) {
      extra = kind;
      folder.resize(folder.size() - w.size());
    }
  }
  std::string capture;
  const size_t file_word = folder.find(" file ");
  if (file_word != std::string::npos) {
    capture = folder.substr(file_word + 6);
    folder.resize(file_word);
  }
  pw::test::ScriptedSource source;
  Script(source);
  pw::test::FakePrivilege allowed;
  pw::Win32IniStore store(folder);
  pw::MainDialogSetup setup;
  setup.source = &source;
  setup.privilege = &allowed;
  setup.settings = &store;
  setup.start_file = capture;
  static pw::CaptureStore capture_store;
  pw::MainDialog program(instance, setup, capture_store);
  std::thread presser([&] { Press(program, extra, !capture.empty()); });
  program.run();
  presser.join();
  return 0;
}
