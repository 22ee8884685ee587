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

void SaveStore(const SaveCommandContext& context, SaveFormat format) {
  const SaveFormatEntry& entry = SaveFormatOf(format);
  std::vector<uint8_t> bytes = entry.data(context.store);
  if (bytes.empty()) {
    TellNothingToSave(context.owner);
    return;
  }
  char path[MAX_PATH];
  if (!AskForFile(context.prompt, SaveDialogFor(format), context.owner, context.folder, path)) {
    return;
  }
  if (!entry.measured_at_start) bytes = entry.data(context.store);
  if (bytes.empty()) {
    TellWriteFailed(context.owner);
    return;
  }
  Write(context, path, bytes);
}

}  // namespace pw
