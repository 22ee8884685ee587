#include "app/save_commands_win32.h"

#include "capture/save_data.h"

namespace pw {
namespace {

constexpr char kFilter[] = "Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
constexpr char kTitle[] = "select file for saving";
constexpr char kDefaultExtension[] = "txt";

// A message box owned by the main window, which is shown afterwards.
void Tell(HWND owner, const char* text, const char* caption, UINT icon) {
  MessageBoxA(owner, text, caption, icon | MB_OK);
  ShowWindow(owner, SW_SHOW);
}

void TellNothingToSave(HWND owner) {
  Tell(owner, kNothingToSaveText, "information:", MB_ICONINFORMATION);
}

// The save-file dialog; false when the user cancelled it or it failed.
bool AskForPath(const SaveCommandContext& context, char (&path)[MAX_PATH]) {
  path[0] = '\0';
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = context.owner;
  dialog.lpstrFilter = kFilter;
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrInitialDir =
      context.initial_folder.empty() ? nullptr : context.initial_folder.c_str();
  dialog.lpstrTitle = kTitle;
  dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
  dialog.lpstrDefExt = kDefaultExtension;
  return context.prompt(&dialog) != FALSE;
}

void Write(const SaveCommandContext& context, const char* path, std::span<const uint8_t> bytes) {
  switch (SaveFileReplacing(path, bytes, context.write)) {
    case SaveResult::kSaved:
      break;
    case SaveResult::kCreateFailed:
      Tell(context.owner, kCreateFailedText, "error:", MB_ICONERROR);
      break;
    case SaveResult::kWriteFailed:
      Tell(context.owner, kWriteFailedText, "error:", MB_ICONERROR);
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
  if (!AskForPath(context, path)) return;
  Write(context, path,
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void SavePackets(const SaveCommandContext& context) {
  if (PacketsSaveData(context.store).empty()) {
    TellNothingToSave(context.owner);
    return;
  }
  char path[MAX_PATH];
  if (!AskForPath(context, path)) return;
  Write(context, path, PacketsSaveData(context.store));
}

}  // namespace pw
