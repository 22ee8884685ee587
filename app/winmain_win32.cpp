// Process entry of pebblewire.exe: one main window per desktop. A second
// start hands its command line to the running window and ends.
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "app/main_dialog_win32.h"
#include "capture/raw_socket_source.h"
#include "res/resource.h"

namespace {

// The command line as a number, the way atoi reads it (leading white space,
// an optional sign, decimal digits up to the first other character; 0 when
// there are none), held to the range of an int.
int CommandLineNumber(const char* command_line) {
  if (command_line == nullptr) return 0;
  const long value = std::strtol(command_line, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  HWND running = FindWindowA(nullptr, pw::kMainWindowTitle);
  if (IsWindow(running)) {
    SendMessageA(running, PW_MSG_SECOND_INSTANCE,
                 static_cast<WPARAM>(CommandLineNumber(command_line)), 0);
    return 0;
  }
  // The capture store (5 MB) is one static instance for the life of the
  // process.
  static pw::CaptureStore capture_store;
  pw::RawSocketSource source;
  pw::MainDialogSetup setup;
  setup.source = &source;
  pw::MainDialog program(instance, setup, capture_store);
  program.run();
  return 0;
}
