// Writes a saved file so that a failure never leaves a half file under the
// name the user chose: the bytes go to a temporary file in the same folder,
// which is flushed and then moved over the name in one step. A file that had
// the name before stays as it was unless the whole write succeeded.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

namespace pw {

enum class SaveResult {
  kSaved,
  kCreateFailed,  // no file of that name can be made (folder, rights, a
                  // read-only file or a folder of that name)
  kWriteFailed,   // the bytes could not all be written and flushed
};

// WriteFile, or a test's stand-in.
using WriteFunction = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

// Writes `bytes` as the file `path`. The temporary file is removed on every
// failure. A write that succeeds with fewer bytes than asked is retried
// with the rest; one that writes nothing counts as failed.
SaveResult SaveFileReplacing(const char* path, std::span<const uint8_t> bytes,
                             WriteFunction write = WriteFile);

}  // namespace pw
