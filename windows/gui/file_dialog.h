// The common file dialogs of the main window: the save-file dialogs of the
// save commands and of "capture &into file...", and the open-file dialog of
// "open capture &file...". Each
// command has its kind of dialog; everything else is the same for all: the
// main window owns the dialog, the file name is given in a buffer of
// MAX_PATH characters, the dialog starts in the folder of the file chosen
// last in any of them (before that in the user's Documents folder), and
// the first filter entry is selected. A save dialog suggests a name with
// the time of the save. UI thread only.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>
#include <string_view>

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
  bool suggests_name;             // the name field starts with SuggestedSaveName
};

inline constexpr DWORD kSaveDialogFlags =
    OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;

// The save-file dialog of a save format: its file types and default
// extension (kSaveFormats), the title "select file for saving", a
// suggested name.
FileDialogKind SaveDialogFor(SaveFormat format);

// "open capture &file...": only a file that exists can be chosen.
inline constexpr FileDialogKind kCaptureOpenDialog{
    "capture files (*.pcap;*.pcapng;*.cap)\0*.pcap;*.pcapng;*.cap\0All Files (*.*)\0*.*\0",
    "select file for opening",
    OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST, nullptr, false};

// "capture &into file...": the pcap file that every session is written
// into while the command is checked; a name is suggested as for a save.
inline constexpr FileDialogKind kCaptureIntoDialog{kPcapFileTypes, "select file for capturing into",
                                                   kSaveDialogFlags, "pcap", true};

// "capture-YYYYMMDD-HHMMSS" of the local time `now`, then "." and
// `extension` when there is one.
std::string SuggestedSaveName(const SYSTEMTIME& now, std::string_view extension);

// Where the file dialogs start: the folder of the file chosen last in any
// of them, else the user's Documents folder (empty when the system names
// none: the dialog's own choice). Kept for the program's run only.
class DialogFolder {
 public:
  std::string start() const;
  // The folder of `chosen`, a path a dialog gave back.
  void take_from(const char* chosen);

 private:
  std::string last_;
};

// Shows a dialog of `kind` through `prompt`, owned by `owner`, starting in
// `folder`'s folder. True with the chosen path in `path`, whose folder
// `folder` then keeps; false when the user cancelled it or it failed.
bool AskForFile(FilePrompt prompt, const FileDialogKind& kind, HWND owner, DialogFolder& folder,
                char (&path)[MAX_PATH]);

}  // namespace pw
