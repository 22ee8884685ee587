// The capture file named on pebblewire.exe's command line. The starting
// process makes it a full path, since the window that opens it may run in
// another process with another current folder. A first start opens it once
// its main dialog is initialised (MainDialogSetup::start_file); a second
// start, after message 1124, hands it to the running main window with
// WM_COPYDATA (tag PW_COPYDATA_CAPTURE_FILE, the path and its NUL), and
// only when it names a file that exists: a command line that names none
// ("12abc") leaves the running window exactly as message 1124 alone does.
// The running window opens the file when it is idle (MainDialog).
#pragma once

#include <windows.h>

#include <string>

namespace pw {

// `path` completed against the current folder; as it is when that fails.
std::string FullPathOf(const std::string& path);

// True when `path` names a file (not a folder) that exists.
bool IsExistingFile(const std::string& path);

// Second start: hands `path` over to `running`. False when it names no
// existing file or the window did not open it.
bool HandOverCaptureFile(HWND running, const std::string& path);

// The running window's side: the path that a hand-over carries. False for
// any other WM_COPYDATA and for an empty path.
bool HandedOverFile(const COPYDATASTRUCT& data, std::string& path);

}  // namespace pw
