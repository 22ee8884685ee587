// The settings store of the Windows program: "gravlin.ini" in the folder
// "Gravlin" of the per-user application-data folder, read and written with
// the private-profile functions, section "Config".
#pragma once

#include <windows.h>

#include <string>

#include "app/settings_file.h"

namespace pw {

class Win32IniStore final : public IniStore {
 public:
  // `base`: the folder that stands in for the per-user application-data
  // folder (tests give each run a folder of its own); empty: ask the system.
  explicit Win32IniStore(std::string base = {});
  ~Win32IniStore();
  Win32IniStore(const Win32IniStore&) = delete;
  Win32IniStore& operator=(const Win32IniStore&) = delete;

  bool locate() override;
  bool open_existing() override;
  std::string read(std::string_view key, std::string_view fallback) override;
  bool create_folder(uint32_t& error) override;
  bool open_always() override;
  void write(std::string_view key, std::string_view value) override;
  void close() override;

  // The application folder ("...\Gravlin"); empty until locate succeeded.
  // The save dialogs start there.
  const char* application_folder() const { return folder_; }
  const char* settings_path() const { return path_; }

 private:
  bool open(DWORD disposition);

  std::string base_;
  char folder_[MAX_PATH] = {};
  char path_[MAX_PATH] = {};
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace pw
