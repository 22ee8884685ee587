// Shows the real main dialog with a few scripted rows, for screenshots.
//   pw_gui_demo.exe FOLDER
// FOLDER stands in for the application-data folder: without a settings file
// there, the about box opens first and closes by itself after eight seconds.
// Once the main window shows, "go!" is pressed and six datagrams are listed;
// the window stays until closed.
#include <windows.h>

#include <thread>

#include "app/ini_store_win32.h"
#include "app/main_dialog_win32.h"
#include "res/resource.h"
#include "tests/datagram_builder.h"
#include "tests/fakes.h"
#include "tests/scripted_source.h"

namespace {

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  using pw::test::MakeDatagram;
  pw::test::ScriptedSource source;
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
  pw::test::FakePrivilege allowed;
  pw::Win32IniStore store(command_line != nullptr ? command_line : "");
  pw::MainDialogSetup setup;
  setup.source = &source;
  setup.privilege = &allowed;
  setup.settings = &store;

  std::thread presser([] {
    for (int i = 0; i < 6000; ++i) {
      HWND about = FindWindowA(nullptr, "about 'Pebblewire'");
      if (about != nullptr && IsWindowVisible(about)) {
        Sleep(8000);
        PostMessageA(about, WM_COMMAND, IDCANCEL, 0);
      }
      HWND main = FindWindowA(nullptr, pw::kMainWindowTitle);
      if (main != nullptr && IsWindowVisible(main)) {
        SendDlgItemMessageA(main, IDC_ICMP, BM_SETCHECK, BST_CHECKED, 0);
        SendDlgItemMessageA(main, IDC_IGMP, BM_SETCHECK, BST_CHECKED, 0);
        SendMessageA(main, WM_COMMAND, IDC_GO, 0);
        return;
      }
      Sleep(10);
    }
  });
  static pw::CaptureStore capture_store;
  pw::MainDialog program(instance, setup, capture_store);
  program.run();
  presser.join();
  return 0;
}
