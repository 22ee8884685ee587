// The settings store of the Windows program: "gravlin.ini" in the folder
// "Gravlin" of the per-user application-data folder, read and written with
// the private-profile functions, section "Config".
#pragma once

#include <windows.h>

#include <string>

#include "ui/settings_file.h"

namespace pw {

class Win32IniStore final : public IniStore {
 public:
  // `base`: the folder that stands in for the per-user application-data
  // folder (tests give each run a folder of its own); empty: ask the system.
  explicit Win32IniStore(std::string base = {});
  ~Win32IniStore();
  Win32IniStore(const Win32IniStore&) = delete;
  Win32IniStore& operator=(const Win32IniStore&) = delete;

  bool find_application_folder() override;
  std::string application_folder() const override { return folder_; }
  bool open_existing_file() override;
  std::string read(std::string_view key, std::string_view fallback) override;
  bool make_folder(std::string& error_text) override;
  bool open_file_for_writing() override;
  bool write(std::string_view key, std::string_view value) override;
  void close() override;

  const char* settings_path() const { return path_; }

 private:
  bool open(DWORD disposition);

  std::string base_;
  char folder_[MAX_PATH] = {};
  char path_[MAX_PATH] = {};
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace pw
