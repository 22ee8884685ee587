// Process entry of pebblewire.exe: one main window per desktop. A second
// start hands its command line to the running window and ends: the number
// with message 1124, and a capture file it names (start_file_win32.h). A
// first start opens its command line's capture file once the main dialog
// is initialised.
#include <windows.h>

#include "capture/raw_socket_source.h"
#include "gui/main_dialog.h"
#include "gui/start_file.h"
#include "res/resource.h"
#include "ui/start_arguments.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  const pw::StartArguments arguments =
      pw::ReadStartArguments(command_line != nullptr ? command_line : "");
  const std::string file = arguments.file.empty() ? "" : pw::FullPathOf(arguments.file);
  HWND running = FindWindowA(nullptr, pw::kMainWindowTitle);
  if (IsWindow(running)) {
    SendMessageA(running, PW_MSG_SECOND_INSTANCE, static_cast<WPARAM>(arguments.number), 0);
    if (!file.empty()) pw::HandOverCaptureFile(running, file);
    return 0;
  }
  // The capture store (5 MB) is one static instance for the life of the
  // process.
  static pw::CaptureStore capture_store;
  pw::RawSocketSource source;
  pw::MainDialogSetup setup;
  setup.source = &source;
  setup.start_file = file;
  pw::MainDialog program(instance, setup, capture_store);
  program.run();
  return 0;
}
