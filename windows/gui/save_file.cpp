#include "gui/save_file.h"

#include <shlwapi.h>

#include <algorithm>
#include <string>

namespace pw {
namespace {

// Prefix of the temporary file's name ("pwXXXX.tmp").
constexpr char kTemporaryPrefix[] = "pw";
// Bytes handed to one WriteFile call at the most.
constexpr size_t kWriteChunk = 1u << 20;

// The folder that `path` names its file in; "." for a bare name.
std::string FolderOf(const char* path) {
  char folder[MAX_PATH] = {};
  lstrcpynA(folder, path, MAX_PATH);
  if (!PathRemoveFileSpecA(folder) || folder[0] == '\0') return ".";
  return folder;
}

bool WriteAll(HANDLE file, std::span<const uint8_t> bytes, WriteFunction write) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min(bytes.size(), kWriteChunk));
    DWORD written = 0;
    if (!write(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes = bytes.subspan(std::min<size_t>(written, chunk));
  }
  return FlushFileBuffers(file) != FALSE;
}

SaveResult FillTemporary(const char* temporary, std::span<const uint8_t> bytes,
                         WriteFunction write) {
  HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return SaveResult::kCreateFailed;
  const bool written = WriteAll(file, bytes, write);
  const bool closed = CloseHandle(file) != FALSE;
  return written && closed ? SaveResult::kSaved : SaveResult::kWriteFailed;
}

// A read-only file or a folder under the name is not replaced, as creating
// a file over it would fail (the move alone would replace a read-only file
// on some systems).
bool NameIsTaken(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0;
}

}  // namespace

SaveResult SaveFileReplacing(const char* path, std::span<const uint8_t> bytes,
                             WriteFunction write) {
  if (NameIsTaken(path)) return SaveResult::kCreateFailed;
  // GetTempFileNameA makes the temporary file itself, empty, under a name
  // that no other file has.
  char temporary[MAX_PATH] = {};
  if (GetTempFileNameA(FolderOf(path).c_str(), kTemporaryPrefix, 0, temporary) == 0) {
    return SaveResult::kCreateFailed;
  }
  const SaveResult filled = FillTemporary(temporary, bytes, write);
  if (filled != SaveResult::kSaved) {
    DeleteFileA(temporary);
    return filled;
  }
  if (!MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(temporary);
    return SaveResult::kCreateFailed;
  }
  return SaveResult::kSaved;
}

}  // namespace pw
