// The common file dialogs of the main window: the save-file dialog of the
// save commands and the open-file dialog of "open capture &file...". Each
// command has its kind of dialog; everything else is the same for all: the
// main window owns the dialog, the file name starts empty in a buffer of
// MAX_PATH characters, the dialog starts in the application folder, and
// the first filter entry is selected. UI thread only.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

#include "files/save_data.h"

namespace pw {

// GetSaveFileNameA or GetOpenFileNameA, or a test's stand-in.
using FilePrompt = BOOL(WINAPI*)(LPOPENFILENAMEA);

// What differs between the commands' dialogs.
struct FileDialogKind {
  // Entries of a name and a pattern, each ended by a NUL, and an empty
  // entry at the end.
  const char* filter;
  const char* title;
  DWORD flags;
  const char* default_extension;  // appended to a name typed without one; null: none
};

inline constexpr DWORD kSaveDialogFlags =
    OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;

// The save-file dialog of a save format: its file types and default
// extension (kSaveFormats), the title "select file for saving".
FileDialogKind SaveDialogFor(SaveFormat format);

// "open capture &file...": only a file that exists can be chosen.
inline constexpr FileDialogKind kCaptureOpenDialog{
    "capture files (*.pcap;*.pcapng;*.cap)\0*.pcap;*.pcapng;*.cap\0All Files (*.*)\0*.*\0",
    "select file for opening",
    OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, nullptr};

// Shows a dialog of `kind` through `prompt`, owned by `owner`, starting in
// `initial_folder` (empty: the dialog's own choice). True with the chosen
// path in `path`; false when the user cancelled it or it failed.
bool AskForFile(FilePrompt prompt, const FileDialogKind& kind, HWND owner,
                const std::string& initial_folder, char (&path)[MAX_PATH]);

}  // namespace pw
