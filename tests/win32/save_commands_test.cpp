// The two save commands in the real dialog: nothing to save, the exact bytes
// and the save-file dialog's parameters, failures, and the real save-file
// dialog driven from the test (cancelled, and a name typed and saved).
#include <windows.h>
#include <commdlg.h>

#include <gtest/gtest.h>

#include <string>

#include "capture/save_data.h"
#include "tests/win32/gui_fixture.h"

namespace pw::test {
namespace {

// The save-file dialog's stand-in: answers with `path` (or cancels when it
// is empty) and keeps what it was asked with. Called on the dialog's UI
// thread while the test thread waits in SendMessage.
struct Prompt {
  static inline std::string path;
  static inline int calls = 0;
  static inline OPENFILENAMEA asked{};
  static inline std::string filter, title, folder, extension, start_name;

  static BOOL WINAPI Answer(LPOPENFILENAMEA dialog) {
    ++calls;
    asked = *dialog;
    // The filter's entries up to the empty one that ends them.
    const char* end = dialog->lpstrFilter;
    while (end[0] != '\0' || end[1] != '\0') ++end;
    filter.assign(dialog->lpstrFilter, end + 1);
    title = dialog->lpstrTitle != nullptr ? dialog->lpstrTitle : "";
    folder = dialog->lpstrInitialDir != nullptr ? dialog->lpstrInitialDir : "(null)";
    extension = dialog->lpstrDefExt != nullptr ? dialog->lpstrDefExt : "";
    start_name = dialog->lpstrFile;
    if (path.empty()) return FALSE;
    lstrcpynA(dialog->lpstrFile, path.c_str(), static_cast<int>(dialog->nMaxFile));
    return TRUE;
  }
  static void Reset(std::string answer) {
    path = std::move(answer);
    calls = 0;
  }
};

BOOL WINAPI FailingWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
  *written = 0;
  return FALSE;
}

// Three stored datagrams of 60, 40 and 1500 bytes.
struct SaveFixture : Fixture {
  SaveFixture() {
    folder.write_ini(kPreferencesOff);
    for (const int payload : {32, 12, 1472}) source.add(Udp(payload, static_cast<uint16_t>(payload)));
    source.set_at_end(ScriptedSource::AtEnd::kBlock);
  }
  MainDialogSetup prompted_setup() {
    MainDialogSetup s = setup();
    s.save_prompt = Prompt::Answer;
    return s;
  }
};

TEST(SaveCommands, NothingStoredIsToldAndNoDialogOpens) {
  SaveFixture f;
  f.folder.write_ini(kAllOptionsOn);  // starts hidden in the notification area
  RunningDialog d(f.prompted_setup());
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(d.hwnd()); }, 2000));
  Prompt::Reset(f.folder.path() + "\\never.txt");
  for (const int command : {IDM_SAVE_SNIFF_LOG, IDM_SAVE_PACKETS}) {
    PostMessageA(d.hwnd(), WM_COMMAND, static_cast<WPARAM>(command), 0);
    EXPECT_EQ(AnswerMessageBox(d.thread_id(), "information:"), "don't found data for saving!");
    SendMessageA(d.hwnd(), WM_NULL, 0, 0);
    EXPECT_TRUE(IsWindowVisible(d.hwnd())) << "the main window is shown after the message";
    EXPECT_TRUE(d.program().tray().hidden()) << "the hidden-in-tray flag stays";
    ShowWindow(d.hwnd(), SW_HIDE);
  }
  EXPECT_EQ(Prompt::calls, 0);
  EXPECT_EQ(FileText(Prompt::path), "(missing)");
}

TEST(SaveCommands, SaveExactlyTheStoredBytesWithTheDialogsParameters) {
  SaveFixture f;
  RunningDialog d(f.prompted_setup());
  ASSERT_TRUE(CaptureAll(d, f.source, 3));

  Prompt::Reset(f.folder.path() + "\\packets.bin");
  d.command(IDM_SAVE_PACKETS);
  const std::string packets = FileText(Prompt::path);
  EXPECT_EQ(packets.size(), 1600u);
  EXPECT_EQ(packets, std::string(reinterpret_cast<const char*>(d.store().byte_pool), 1600));

  Prompt::Reset(f.folder.path() + "\\log.txt");
  d.command(IDM_SAVE_SNIFF_LOG);
  EXPECT_EQ(FileText(Prompt::path), std::string(SniffLogSaveData(d.store())));
  EXPECT_EQ(FileText(Prompt::path).substr(0, 10), "\t0\tudp\t10.");

  const OPENFILENAMEA& asked = Prompt::asked;
  EXPECT_EQ(asked.hwndOwner, d.hwnd());
  EXPECT_EQ(Prompt::filter, std::string("Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0",
                                        45));
  EXPECT_EQ(asked.nFilterIndex, 0u);
  EXPECT_EQ(asked.nMaxFile, 260u);
  EXPECT_EQ(Prompt::start_name, "");
  EXPECT_EQ(Prompt::folder, f.folder.gravlin());
  EXPECT_EQ(Prompt::title, "select file for saving");
  EXPECT_EQ(asked.Flags, static_cast<DWORD>(OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                                            OFN_OVERWRITEPROMPT));
  EXPECT_EQ(Prompt::extension, "txt");
}

TEST(SaveCommands, FailuresAreToldAndLeaveTheOldFile) {
  struct Case {
    const char* name;
    std::string target;  // relative to the folder
    bool failing_write;
    std::string message;
  };
  const Case cases[] = {
      {"folder missing", "missing\\a.bin", false, "don't create file!"},
      {"read-only file", "old.bin", false, "don't create file!"},
      {"write fails", "old.bin", true, "don't write file!"},
  };
  for (const Case& c : cases) {
    SaveFixture f;
    MainDialogSetup setup = f.prompted_setup();
    if (c.failing_write) setup.write_file = FailingWrite;
    RunningDialog d(setup);
    ASSERT_TRUE(CaptureAll(d, f.source, 3));
    const std::string old_path = f.folder.path() + "\\old.bin";
    HANDLE old = CreateFileA(old_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(old, "old", 3, &written, nullptr);
    CloseHandle(old);
    if (!c.failing_write) SetFileAttributesA(old_path.c_str(), FILE_ATTRIBUTE_READONLY);
    Prompt::Reset(f.folder.path() + "\\" + c.target);
    PostMessageA(d.hwnd(), WM_COMMAND, IDM_SAVE_PACKETS, 0);
    EXPECT_EQ(AnswerMessageBox(d.thread_id(), "error:"), c.message) << c.name;
    EXPECT_EQ(FileText(old_path), "old") << c.name;
    SetFileAttributesA(old_path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

// The real save-file dialog of the UI thread, once it shows.
HWND WaitForSaveDialog(const RunningDialog& d) {
  HWND dialog = nullptr;
  WaitUntil([&] {
    dialog = ThreadWindow(d.thread_id(), "select file for saving");
    return dialog != nullptr && IsWindowVisible(dialog);
  });
  return dialog;
}

TEST(SaveCommands, TheRealDialogCancelledAndSaved) {
  SaveFixture f;
  RunningDialog d(f.setup());
  ASSERT_TRUE(CaptureAll(d, f.source, 3));

  PostMessageA(d.hwnd(), WM_COMMAND, IDM_SAVE_SNIFF_LOG, 0);
  HWND dialog = WaitForSaveDialog(d);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), d.hwnd());
  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  SendMessageA(d.hwnd(), WM_NULL, 0, 0);
  EXPECT_EQ(ThreadWindow(d.thread_id(), "information:"), nullptr);
  EXPECT_EQ(ThreadWindow(d.thread_id(), "error:"), nullptr);

  // A name typed without an extension gets ".txt".
  PostMessageA(d.hwnd(), WM_COMMAND, IDM_SAVE_SNIFF_LOG, 0);
  dialog = WaitForSaveDialog(d);
  ASSERT_NE(dialog, nullptr);
  const std::string typed = f.folder.path() + "\\typed";
  constexpr int kFileNameCombo = 0x47C;  // the explorer-style dialog's name field
  SetDlgItemTextA(dialog, kFileNameCombo, typed.c_str());
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  SendMessageA(d.hwnd(), WM_NULL, 0, 0);
  EXPECT_EQ(FileText(typed + ".txt"), std::string(SniffLogSaveData(d.store())));
}

}  // namespace
}  // namespace pw::test
