#include "gui/file_dialog.h"

namespace pw {

FileDialogKind SaveDialogFor(SaveFormat format) {
  const SaveFormatEntry& entry = SaveFormatOf(format);
  return {entry.dialog_filter.data(), "select file for saving", kSaveDialogFlags,
          entry.dialog_extension.data()};
}

bool AskForFile(FilePrompt prompt, const FileDialogKind& kind, HWND owner,
                const std::string& initial_folder, char (&path)[MAX_PATH]) {
  path[0] = '\0';
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = kind.filter;
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrInitialDir = initial_folder.empty() ? nullptr : initial_folder.c_str();
  dialog.lpstrTitle = kind.title;
  dialog.Flags = kind.flags;
  dialog.lpstrDefExt = kind.default_extension;
  return prompt(&dialog) != FALSE;
}

}  // namespace pw
