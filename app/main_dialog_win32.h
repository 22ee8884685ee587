// The main dialog (dialog 102, titled "Pebblewire"): the capture controls,
// the filter fields and the list of captured datagrams. It runs modally on
// the main thread for the life of the program, drives the capture session
// through its CaptureView, and receives every command of the popup menu.
#pragma once

#include <windows.h>

#include "app/settings_file.h"
#include "app/settings_record.h"
#include "capture/capture_store.h"
#include "capture/packet_source.h"
#include "capture/privilege.h"
#include "shell/interface_slots.h"

namespace pw {

// The main window's title; a second start looks for a window of this title.
inline constexpr char kMainWindowTitle[] = "Pebblewire";

// What the main dialog works with. The program passes the system's raw
// socket source and leaves the rest to their defaults; tests replace them.
struct MainDialogSetup {
  PacketSource* source = nullptr;     // required
  PrivilegeCheck* privilege = nullptr;  // null: SystemPrivilegeCheck()
  IniStore* settings = nullptr;       // null: gravlin.ini in the user's application-data folder
  AdapterQuery (*query_adapters)() = nullptr;  // null: QuerySystemAdapters
  // Fills the version record as GetVersionExA does; null: GetVersionExA.
  BOOL (*query_version)(OSVERSIONINFOA* version) = nullptr;
};

// Runs dialog 102 of `instance` modally, without an owner, until it ends.
// Main thread; one main dialog at a time.
INT_PTR RunMainDialog(HINSTANCE instance, const MainDialogSetup& setup);

// The program's capture store: written by the capture thread, read by the
// details and save commands.
CaptureStore& MainCaptureStore();

// The settings record of the running (or last) main dialog.
const SettingsRecord& MainSettingsRecord();

// The row chosen for the details command (-1: none was selected).
int32_t& MainSelectedIndex();

}  // namespace pw
