#include "gui/ini_store.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "shell/system_error.h"

namespace pw {
namespace {

constexpr char kSection[] = "Config";
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

Win32IniStore::Win32IniStore(std::string base) : base_(std::move(base)) {}

Win32IniStore::~Win32IniStore() { close(); }

bool Win32IniStore::find_application_folder() {
  char folder[MAX_PATH] = {};
  char path[MAX_PATH] = {};
  folder_[0] = path_[0] = '\0';
  if (base_.empty()) {
    if (SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                         SHGFP_TYPE_CURRENT, folder) != S_OK) {
      return false;
    }
  } else {
    if (base_.size() >= MAX_PATH) return false;
    lstrcpynA(folder, base_.c_str(), MAX_PATH);
  }
  // A join that would not fit in MAX_PATH fails and leaves no folder.
  if (!PathAppendA(folder, "Gravlin")) return false;
  lstrcpynA(path, folder, MAX_PATH);
  if (!PathAppendA(path, "gravlin.ini")) return false;
  lstrcpynA(folder_, folder, MAX_PATH);
  lstrcpynA(path_, path, MAX_PATH);
  return true;
}

bool Win32IniStore::open(DWORD disposition) {
  close();
  file_ = CreateFileA(path_, GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                      disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file_ != INVALID_HANDLE_VALUE;
}

// The existence test of a first run: the file opens for reading and
// writing only if it is there (and not read-only).
bool Win32IniStore::open_existing_file() { return open(OPEN_EXISTING); }

bool Win32IniStore::open_file_for_writing() { return open(OPEN_ALWAYS); }

std::string Win32IniStore::read(std::string_view key, std::string_view fallback) {
  char value[kSettingsValueMax + 1] = {};
  GetPrivateProfileStringA(kSection, std::string(key).c_str(),
                           std::string(fallback).c_str(), value, sizeof value, path_);
  return value;
}

bool Win32IniStore::make_folder(std::string& error_text) {
  if (CreateDirectoryA(folder_, nullptr)) return true;
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS) return true;
  error_text = FormatSystemError(error);
  return false;
}

bool Win32IniStore::write(std::string_view key, std::string_view value) {
  return WritePrivateProfileStringA(kSection, std::string(key).c_str(),
                                    std::string(value).c_str(), path_) != FALSE;
}

void Win32IniStore::close() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
}

}  // namespace pw
