// The save commands of the popup menu, one for each save format
// (kSaveFormats): "&save sniff log" writes the sniff log (one line per
// stored datagram), "save &packets source" the byte pool (the stored
// datagrams back to back, exactly as received), "save as p&cap..." the
// stored datagrams with their capture times as a pcap file that other
// tools open. The user names the file in the save-file dialog;
// the file is written whole or not at all (save_file_win32.h). Every
// failure is a message box owned by the main window, after which the main
// window is shown, also when it was hidden in the notification area. UI
// thread only; a capture may be running meanwhile.
#pragma once

#include <windows.h>

#include <string>

#include "engine/capture_store.h"
#include "files/save_data.h"
#include "gui/file_dialog.h"
#include "gui/save_file.h"
#include "res/resource.h"

namespace pw {

inline constexpr char kNothingToSaveText[] = "don't found data for saving!";
inline constexpr char kCreateFailedText[] = "don't create file!";
inline constexpr char kWriteFailedText[] = "don't write file!";

struct SaveCommandContext {
  HWND owner;  // the main window
  const CaptureStore& store;
  DialogFolder& folder;  // where the dialog starts, and keeps the chosen folder
  FilePrompt prompt = GetSaveFileNameA;
  WriteFunction write = WriteFile;
};

// The menu commands of the save formats.
struct SaveCommand {
  int menu_command;
  SaveFormat format;
};
inline constexpr SaveCommand kSaveCommands[] = {
    {IDM_SAVE_SNIFF_LOG, SaveFormat::kSniffLog},
    {IDM_SAVE_PACKETS, SaveFormat::kPackets},
    {IDM_SAVE_PCAP, SaveFormat::kPcap},
};

// Saves what the store holds in `format`: nothing stored gives the
// message; otherwise the save-file dialog, then the bytes measured when
// the format says (SaveFormatEntry::measured_at_start), written whole.
void SaveStore(const SaveCommandContext& context, SaveFormat format);

}  // namespace pw
