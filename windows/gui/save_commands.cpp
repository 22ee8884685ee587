#include "gui/save_commands.h"

#include <vector>

#include "files/save_data.h"

namespace pw {
namespace {

// A message box owned by the main window, which is shown afterwards.
void Tell(HWND owner, const char* text, const char* caption, UINT icon) {
  MessageBoxA(owner, text, caption, icon | MB_OK);
  ShowWindow(owner, SW_SHOW);
}

void TellNothingToSave(HWND owner) {
  Tell(owner, kNothingToSaveText, "information:", MB_ICONINFORMATION);
}

void TellWriteFailed(HWND owner) { Tell(owner, kWriteFailedText, "error:", MB_ICONERROR); }

// The save-file dialog; false when the user cancelled it or it failed.
bool AskForPath(const SaveCommandContext& context, const FileDialogKind& kind,
                char (&path)[MAX_PATH]) {
  return AskForFile(context.prompt, kind, context.owner, context.initial_folder, path);
}

void Write(const SaveCommandContext& context, const char* path, std::span<const uint8_t> bytes) {
  switch (SaveFileReplacing(path, bytes, context.write)) {
    case SaveResult::kSaved:
      break;
    case SaveResult::kCreateFailed:
      Tell(context.owner, kCreateFailedText, "error:", MB_ICONERROR);
      break;
    case SaveResult::kWriteFailed:
      TellWriteFailed(context.owner);
      break;
  }
}

}  // namespace

void SaveSniffLog(const SaveCommandContext& context) {
  // A copy: the lines that exist now, however many arrive while the dialog
  // is open.
  const std::string text(SniffLogSaveData(context.store));
  if (text.empty()) {
    TellNothingToSave(context.owner);
    return;
  }
  char path[MAX_PATH];
  if (!AskForPath(context, kTextSaveDialog, path)) return;
  Write(context, path,
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void SavePackets(const SaveCommandContext& context) {
  if (PacketsSaveData(context.store).empty()) {
    TellNothingToSave(context.owner);
    return;
  }
  char path[MAX_PATH];
  if (!AskForPath(context, kTextSaveDialog, path)) return;
  Write(context, path, PacketsSaveData(context.store));
}

void SavePcap(const SaveCommandContext& context) {
  if (StoredDatagramsOf(context.store).lengths.empty()) {
    TellNothingToSave(context.owner);
    return;
  }
  char path[MAX_PATH];
  if (!AskForPath(context, kPcapSaveDialog, path)) return;
  // Assembled in memory (at most about a megabyte) and written whole.
  const std::vector<uint8_t> file = PcapSaveData(context.store);
  if (file.empty()) {
    TellWriteFailed(context.owner);
    return;
  }
  Write(context, path, file);
}

}  // namespace pw
