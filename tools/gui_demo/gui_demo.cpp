// Shows the real main dialog with a few scripted rows, for screenshots.
//   pw_gui_demo.exe FOLDER [SHOT [CAPTURE]]
// FOLDER stands in for the application-data folder: without a settings file
// there, the about box opens first and closes by itself after eight seconds.
// SHOT says what is done once the main window is there:
//   (none)  "go!" lists six datagrams, the details window shows the third
//           where the program places it
//   about   the same, with the about box over it
//   menu    the same, with the popup menu that a right click on the fourth
//           row opens (it selects that row)
//   start   nothing: the window as the start leaves it
//   max     the six rows in the maximised window
//   red     "10.0.0.300:80" typed into the from field, the keyboard moved on,
//           and the mouse over the field, so that its tip shows
//   file    the capture file CAPTURE opened as the program opens its
//           command line's file, with the details of its third datagram
//   limit   a capture file of 10,001 datagrams, written into FOLDER, opened:
//           the list shows its last rows and the row that says why it ended
//   wide    a capture file of both families with 39-character IPv6
//           addresses, written into FOLDER, opened in the maximised window
//   into    "capture into file..." checked (FOLDER\into.pcap), "go!", and the
//           popup menu over the fourth row: the item checked and greyed
//   copy    "capture into file..." checked, then a capture file of 25,000
//           datagrams opened: the store's last rows, the written count and
//           the end row
// The window stays until closed.
#include <windows.h>
#include <commctrl.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gui/ini_store.h"
#include "gui/main_dialog.h"
#include "res/resource.h"
#include "support/capture_files.h"
#include "support/datagram_builder.h"
#include "support/fakes.h"
#include "support/ipv6_datagram_builder.h"
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

// A mouse message at the middle of row `row` of the list.
void MouseOnRow(HWND list, UINT message, int row) {
  RECT place{};
  SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&place));
  const POINT at{place.left + 40, (place.top + place.bottom) / 2};
  PostMessageA(list, message, message == WM_RBUTTONDOWN ? MK_RBUTTON : 0, MAKELPARAM(at.x, at.y));
}

// Types `text` into the from field, moves the keyboard on and rests the
// mouse over the field.
void TypeIntoFrom(HWND main, const std::string& text) {
  HWND combo = GetDlgItem(main, IDC_FROM);
  HWND edit = GetWindow(combo, GW_CHILD);
  PostMessageA(main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(combo), TRUE);
  PostMessageA(edit, EM_SETSEL, 0, -1);
  PostMessageA(edit, WM_CHAR, VK_BACK, 1);
  for (const char c : text) PostMessageA(edit, WM_CHAR, static_cast<WPARAM>(c), 1);
  PostMessageA(main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(main, IDC_INTERFACE)),
               TRUE);
  Sleep(500);
  RECT field{};
  GetWindowRect(edit, &field);
  SetCursorPos(field.left + 20, (field.top + field.bottom) / 2);
  PostMessageA(edit, WM_MOUSEMOVE, 0, MAKELPARAM(20, (field.bottom - field.top) / 2));
}

// A pcap file of `count` small UDP datagrams.
std::string WriteLongCapture(const std::string& folder, int count) {
  std::vector<pw::test::Datagram> datagrams;
  for (int k = 0; k < count; ++k) {
    datagrams.push_back({MakeDatagram({.protocol = 17, .source = "192.168.0.5",
                                       .destination = "192.168.0.1",
                                       .source_port = static_cast<uint16_t>(40000 + k % 20000),
                                       .destination_port = 53, .ttl = 128,
                                       .payload_length = 33}),
                         {1712345678 + k / 100, static_cast<uint32_t>(k % 100) * 10000000u}});
  }
  const std::string path = folder + "\\long.pcap";
  std::string error;
  pw::test::WriteAll(path, datagrams, error);
  return path;
}

// A pcap file of both families whose IPv6 addresses are as long as an
// address is written (39 characters).
std::string WriteWideCapture(const std::string& folder) {
  const char* longest = "2001:db8:85a3:1234:5678:8a2e:370:7334";
  const char* other = "fe80:1234:5678:9abc:def0:1234:5678:9abc";
  std::vector<pw::test::Datagram> datagrams;
  for (int k = 0; k < 12; ++k) {
    const auto port = static_cast<uint16_t>(50000 + k);
    if (k % 3 == 2) {
      datagrams.push_back({MakeDatagram({.protocol = 17, .source = "192.168.100.200",
                                         .destination = "10.1.2.3", .source_port = port,
                                         .destination_port = 53, .payload_length = 30}),
                           {1712345678 + k, 0}});
    } else {
      datagrams.push_back({pw::test::MakeIpv6Datagram(
                               {.protocol = static_cast<uint8_t>(k % 2 ? 6 : 17),
                                .source = k % 2 ? other : longest,
                                .destination = k % 2 ? longest : other,
                                .source_port = port, .destination_port = 443,
                                .payload_length = 20}),
                           {1712345678 + k, 0}});
    }
  }
  const std::string path = folder + "\\wide.pcap";
  std::string error;
  pw::test::WriteAll(path, datagrams, error);
  return path;
}

// The file dialogs' stand-in: "capture into file..." gets FOLDER\into.pcap,
// "open capture file..." the long capture.
std::string into_path;
std::string open_path;
BOOL WINAPI Answer(LPOPENFILENAMEA dialog) {
  const std::string& path = (dialog->Flags & OFN_FILEMUSTEXIST) != 0 ? open_path : into_path;
  lstrcpynA(dialog->lpstrFile, path.c_str(), static_cast<int>(dialog->nMaxFile));
  return TRUE;
}

// The capture file has been read to its end: the list's last row says so.
bool FileRead(HWND list) {
  const LRESULT rows = SendMessageA(list, LB_GETCOUNT, 0, 0);
  char last[256] = {};
  if (rows < 2 || SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(rows - 1), 0) >= 255) {
    return false;
  }
  SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(rows - 1), reinterpret_cast<LPARAM>(last));
  return std::string(last).rfind(" capture ended: ", 0) == 0;
}

// Drives the dialog from another thread, as a user would.
void Press(pw::MainDialog& program, const std::string& shot) {
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
  if (shot == "start") return;
  HWND list = GetDlgItem(main, IDC_LIST);
  if (shot == "into" || shot == "copy") SendMessageA(main, WM_COMMAND, IDM_CAPTURE_TO_FILE, 0);
  if (shot == "copy") SendMessageA(main, WM_COMMAND, IDM_OPEN_CAPTURE, 0);
  if (shot == "red") {
    // The tip stays until the picture is taken.
    SendMessageA(program.tooltip_window(), TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(30000, 0));
    TypeIntoFrom(main, "10.0.0.300:80");
    return;
  }
  if (shot == "file" || shot == "limit" || shot == "wide" || shot == "copy") {
    for (int i = 0; i < 3000 && !FileRead(list); ++i) Sleep(10);
  } else {
    SendDlgItemMessageA(main, IDC_ICMP, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageA(main, IDC_IGMP, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(main, WM_COMMAND, IDC_GO, 0);
    for (int i = 0; i < 500 && SendMessageA(list, LB_GETCOUNT, 0, 0) < 6; ++i) Sleep(10);
  }
  if (shot == "limit" || shot == "copy") {
    const LRESULT rows = SendMessageA(list, LB_GETCOUNT, 0, 0);
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(rows - 1), 0);
    return;
  }
  if (shot == "max" || shot == "wide") {
    SendMessageA(main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    return;
  }
  SendMessageA(list, LB_SETCURSEL, 2, 0);
  program.state().selected_index = 2;
  SendMessageA(main, WM_COMMAND, IDM_DETAILS, 0);
  if (shot == "about") PostMessageA(main, WM_COMMAND, IDM_ABOUT, 0);
  if (shot == "menu" || shot == "into") {
    MouseOnRow(list, WM_RBUTTONDOWN, 3);
    MouseOnRow(list, WM_RBUTTONUP, 3);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  std::istringstream words(command_line != nullptr ? command_line : "");
  std::string folder, shot, capture;
  words >> folder >> shot >> capture;
  if (shot == "limit") capture = WriteLongCapture(folder, 10001);
  if (shot == "copy") open_path = WriteLongCapture(folder, 25000);
  into_path = folder + "\\into.pcap";
  if (shot == "wide") capture = WriteWideCapture(folder);
  pw::test::ScriptedSource source;
  Script(source);
  pw::test::FakePrivilege allowed;
  pw::Win32IniStore store(folder);
  pw::MainDialogSetup setup;
  setup.source = &source;
  setup.privilege = &allowed;
  setup.settings = &store;
  setup.start_file = capture;
  setup.save_prompt = Answer;
  setup.open_prompt = Answer;
  static pw::CaptureStore capture_store;
  pw::MainDialog program(instance, setup, capture_store);
  std::thread presser([&] { Press(program, shot); });
  program.run();
  presser.join();
  return 0;
}
