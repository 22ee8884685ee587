#include "gui/file_dialog.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>

namespace pw {

FileDialogKind SaveDialogFor(SaveFormat format) {
  const SaveFormatEntry& entry = SaveFormatOf(format);
  return {entry.dialog_filter.data(), "select file for saving", kSaveDialogFlags,
          entry.dialog_extension.data(), true};
}

std::string SuggestedSaveName(const SYSTEMTIME& now, std::string_view extension) {
  char name[32];
  std::snprintf(name, sizeof name, "capture-%04u%02u%02u-%02u%02u%02u", now.wYear % 10000u,
                now.wMonth % 100u, now.wDay % 100u, now.wHour % 100u, now.wMinute % 100u,
                now.wSecond % 100u);
  std::string suggested(name);
  if (!extension.empty()) {
    suggested += '.';
    suggested += extension;
  }
  return suggested;
}

std::string DialogFolder::start() const {
  if (!last_.empty()) return last_;
  char documents[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents))) {
    return {};
  }
  return documents;
}

void DialogFolder::take_from(const char* chosen) {
  char folder[MAX_PATH] = {};
  lstrcpynA(folder, chosen, MAX_PATH);
  if (PathRemoveFileSpecA(folder) && folder[0] != '\0') last_ = folder;
}

bool AskForFile(FilePrompt prompt, const FileDialogKind& kind, HWND owner, DialogFolder& folder,
                char (&path)[MAX_PATH]) {
  path[0] = '\0';
  if (kind.suggests_name) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::string name =
        SuggestedSaveName(now, kind.default_extension != nullptr ? kind.default_extension : "");
    lstrcpynA(path, name.c_str(), MAX_PATH);
  }
  const std::string start = folder.start();
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = kind.filter;
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
  dialog.lpstrTitle = kind.title;
  dialog.Flags = kind.flags;
  dialog.lpstrDefExt = kind.default_extension;
  if (prompt(&dialog) == FALSE) return false;
  folder.take_from(path);
  return true;
}

}  // namespace pw
