#include "gui/start_file.h"

#include <cstring>

#include "res/resource.h"

namespace pw {

std::string FullPathOf(const std::string& path) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return path;
  return std::string(full, length);
}

bool IsExistingFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool HandOverCaptureFile(HWND running, const std::string& path) {
  if (!IsExistingFile(path)) return false;
  COPYDATASTRUCT data{};
  data.dwData = PW_COPYDATA_CAPTURE_FILE;
  data.cbData = static_cast<DWORD>(path.size() + 1);
  data.lpData = const_cast<char*>(path.c_str());
  return SendMessageA(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)) != 0;
}

// The data comes from another process: its length is taken from cbData,
// never from a NUL that may be missing.
bool HandedOverFile(const COPYDATASTRUCT& data, std::string& path) {
  if (data.dwData != PW_COPYDATA_CAPTURE_FILE || data.lpData == nullptr) return false;
  const char* text = static_cast<const char*>(data.lpData);
  path.assign(text, strnlen(text, data.cbData));
  return !path.empty();
}

}  // namespace pw
