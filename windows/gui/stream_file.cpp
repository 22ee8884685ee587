#include "gui/stream_file.h"

#include <cctype>

#include "shell/system_error.h"

namespace pw {
namespace {

// WriteFile takes at most a DWORD at once; the stream's blocks are far
// smaller, this only keeps a larger write whole.
constexpr size_t kLargestWrite = 1u << 30;

bool Identity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const BOOL known = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  return known != FALSE;
}

// The system's text for `code` as a short lower-case reason: "access is
// denied" for "Access is denied.\r\n".
std::string ShortSystemError(DWORD code) {
  std::string text = FormatSystemError(code);
  while (!text.empty() && (std::isspace(static_cast<unsigned char>(text.back())) != 0 ||
                           text.back() == '.')) {
    text.pop_back();
  }
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace

bool WindowsStreamFile::fail(DWORD code) {
  error_number_ = static_cast<int>(code);
  error_ = ShortSystemError(code);
  return false;
}

bool WindowsStreamFile::open(const std::string& path) {
  close();
  error_.clear();
  error_number_ = 0;
  handle_ = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) return fail(GetLastError());
  return true;
}

size_t WindowsStreamFile::write(const uint8_t* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    const size_t part = size - done < kLargestWrite ? size - done : kLargestWrite;
    DWORD wrote = 0;
    if (!WriteFile(handle_, bytes + done, static_cast<DWORD>(part), &wrote, nullptr)) {
      fail(GetLastError());
      break;
    }
    // A write that succeeds with nothing written would never end.
    if (wrote == 0) {
      fail(ERROR_WRITE_FAULT);
      break;
    }
    done += wrote;
  }
  return done;
}

bool WindowsStreamFile::truncate(uint64_t size) {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  return SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) && SetEndOfFile(handle_);
}

bool WindowsStreamFile::sync() {
  if (FlushFileBuffers(handle_)) return true;
  return fail(GetLastError());
}

bool WindowsStreamFile::close() {
  if (handle_ == INVALID_HANDLE_VALUE) return true;
  HANDLE handle = handle_;
  handle_ = INVALID_HANDLE_VALUE;
  if (CloseHandle(handle)) return true;
  return fail(GetLastError());
}

bool SameFile(const std::string& first, const std::string& second) {
  BY_HANDLE_FILE_INFORMATION a{};
  BY_HANDLE_FILE_INFORMATION b{};
  if (!Identity(first, a) || !Identity(second, b)) return false;
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace pw
