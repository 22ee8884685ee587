// The save commands of the popup menu: "&save sniff log" writes the sniff
// log (one line per stored datagram), "save &packets source" the byte pool
// (the stored datagrams back to back, exactly as received), "save as
// pca&p..." the stored datagrams with their capture times as a pcap file
// that other tools open. The user names the file in the save-file dialog;
// the file is written whole or not at all (save_file_win32.h). Every
// failure is a message box owned by the main window, after which the main
// window is shown, also when it was hidden in the notification area. UI
// thread only; a capture may be running meanwhile.
#pragma once

#include <windows.h>

#include <string>

#include "engine/capture_store.h"
#include "gui/file_dialog.h"
#include "gui/save_file.h"

namespace pw {

inline constexpr char kNothingToSaveText[] = "don't found data for saving!";
inline constexpr char kCreateFailedText[] = "don't create file!";
inline constexpr char kWriteFailedText[] = "don't write file!";

struct SaveCommandContext {
  HWND owner;                  // the main window
  const CaptureStore& store;
  std::string initial_folder;  // the application folder; empty: the dialog's choice
  FilePrompt prompt = GetSaveFileNameA;
  WriteFunction write = WriteFile;
};

// "&save sniff log": the sniff log as it is when the command starts.
void SaveSniffLog(const SaveCommandContext& context);

// "save &packets source": the byte pool up to the pool fill read just
// before writing, so that datagrams stored while the dialog was open are
// included.
void SavePackets(const SaveCommandContext& context);

// "save as pca&p...": the datagrams stored up to the moment of writing,
// each with its capture time, in the pcap format (capture_file_writer.h).
// Nothing stored: the same message as the other two.
void SavePcap(const SaveCommandContext& context);

}  // namespace pw
