// Saved files go through a temporary file beside them: the name gets the
// whole new content or keeps its old one, and no temporary file is left.
#include "gui/save_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "windows/dialog_harness.h"

namespace pw::test {
namespace {

// The names in `folder`, "." and ".." left out.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

BOOL WINAPI FailingWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
  *written = 0;
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

BOOL WINAPI WritesNothing(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
  *written = 0;
  return TRUE;
}

// Writes at most 7 bytes a call, as a system may under pressure.
BOOL WINAPI ShortWrites(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                        LPOVERLAPPED overlapped) {
  return WriteFile(file, data, size < 7 ? size : 7, written, overlapped);
}

TEST(SaveFile, TheNameGetsTheWholeContentOrKeepsItsOld) {
  struct Case {
    const char* name;
    const char* target;  // relative to the folder
    bool old_file;       // a file of that name holds "old content"
    bool read_only;
    WriteFunction write;
    SaveResult result;
    bool saved;  // the new content is under the name afterwards
  };
  const Case cases[] = {
      {"new file", "a.txt", false, false, WriteFile, SaveResult::kSaved, true},
      {"longer file replaced", "a.txt", true, false, WriteFile, SaveResult::kSaved, true},
      {"short writes are continued", "a.txt", true, false, ShortWrites, SaveResult::kSaved, true},
      {"write fails", "a.txt", true, false, FailingWrite, SaveResult::kWriteFailed, false},
      {"write takes nothing", "a.txt", true, false, WritesNothing, SaveResult::kWriteFailed, false},
      {"read-only file", "a.txt", true, true, WriteFile, SaveResult::kCreateFailed, false},
      {"missing folder", "missing\\a.txt", false, false, WriteFile, SaveResult::kCreateFailed,
       false},
  };
  const std::string content = "new\r\ncontent";
  for (const Case& c : cases) {
    TempFolder folder;
    const std::string path = folder.path() + "\\" + c.target;
    if (c.old_file) WriteBytes(path, "old content, longer than the new");
    if (c.read_only) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(SaveFileReplacing(path.c_str(), Bytes(content), c.write), c.result) << c.name;
    const std::string expected = c.saved       ? content
                                 : c.old_file ? "old content, longer than the new"
                                              : "(missing)";
    EXPECT_EQ(FileText(path), expected) << c.name;
    const std::vector<std::string> left = Names(folder.path());
    EXPECT_EQ(left.size(), c.old_file || c.saved ? 1u : 0u) << c.name << ": no temporary file left";
  }
}

TEST(SaveFile, AFolderOfThatNameIsNotReplaced) {
  TempFolder folder;
  const std::string path = folder.path() + "\\taken";
  CreateDirectoryA(path.c_str(), nullptr);
  EXPECT_EQ(SaveFileReplacing(path.c_str(), Bytes("x")), SaveResult::kCreateFailed);
  EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"taken"});
  EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace
}  // namespace pw::test
