// The three save commands in the real dialog: nothing to save, the exact
// bytes and the save-file dialog's parameters, the pcap file of the largest
// datagrams and of a full pool, failures, and the real save-file dialog
// driven from the test (cancelled, and a name typed and saved).
#include <windows.h>
#include <commdlg.h>

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "files/save_data.h"
#include "support/capture_files.h"
#include "windows/gui_fixture.h"

namespace pw::test {
namespace {

BOOL WINAPI FailingWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
  *written = 0;
  return FALSE;
}

// The datagrams of a pcap file as the portable reader reads them back;
// empty when it is no whole pcap file.
std::vector<Datagram> PcapDatagrams(const std::string& path) {
  const ReadResult read = ReadAll(FileText(path));
  if (!read.opened || read.last != ReadOutcome::kEnd) return {};
  return read.datagrams;
}

// `name` is "capture-YYYYMMDD-HHMMSS.<extension>" of a time within a
// minute of now.
bool SuggestedNow(const std::string& name, const std::string& extension) {
  SYSTEMTIME at{};
  if (std::sscanf(name.c_str(), "capture-%4hu%2hu%2hu-%2hu%2hu%2hu.", &at.wYear, &at.wMonth,
                  &at.wDay, &at.wHour, &at.wMinute, &at.wSecond) != 6 ||
      name.size() != 24 + extension.size() || name.substr(24) != extension) {
    return false;
  }
  SYSTEMTIME now{};
  GetLocalTime(&now);
  FILETIME a{}, b{};
  if (!SystemTimeToFileTime(&at, &a) || !SystemTimeToFileTime(&now, &b)) return false;
  const auto ticks = [](FILETIME t) {
    return static_cast<long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
  };
  return ticks(b) - ticks(a) >= 0 && ticks(b) - ticks(a) < 60LL * 10000000;
}

// Three stored datagrams of 60, 40 and 1500 bytes, captured at these times.
struct SaveFixture : Fixture {
  SaveFixture() {
    folder.write_ini(kPreferencesOff);
    const CaptureTime times[] = {{1712345678, 1}, {1712345679, 999999999}, {1712345680, 500}};
    int k = 0;
    for (const int payload : {32, 12, 1472}) {
      scripted.push_back({Udp(payload, static_cast<uint16_t>(payload)), times[k++]});
      source.add(scripted.back().bytes, scripted.back().time);
    }
    source.set_at_end(ScriptedSource::AtEnd::kBlock);
  }
  std::vector<Datagram> scripted;
  MainDialogSetup prompted_setup() {
    MainDialogSetup s = setup();
    s.save_prompt = Prompt::Answer;
    s.open_prompt = Prompt::Answer;
    return s;
  }
};

TEST(SaveCommands, NothingStoredIsToldAndNoDialogOpens) {
  SaveFixture f;
  f.folder.write_ini(kAllOptionsOn);
  RunningDialog d(f.prompted_setup());
  ASSERT_TRUE(HideInTray(d));
  Prompt::Reset(f.folder.path() + "\\never.txt");
  for (const int command : {IDM_SAVE_SNIFF_LOG, IDM_SAVE_PACKETS, IDM_SAVE_PCAP}) {
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

  const std::string text_filter("Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0", 45);
  const std::string pcap_filter("pcap files (*.pcap)\0*.pcap\0All Files (*.*)\0*.*\0", 47);
  struct Case {
    int command;
    const char* name;
    const std::string& filter;
    const char* extension;
  } cases[] = {
      {IDM_SAVE_PACKETS, "packets.bin", text_filter, "txt"},
      {IDM_SAVE_SNIFF_LOG, "log.txt", text_filter, "txt"},
      {IDM_SAVE_PCAP, "packets.pcap", pcap_filter, "pcap"},
  };
  for (const Case& c : cases) {
    Prompt::Reset(f.folder.path() + "\\" + c.name);
    d.command(c.command);
    const OPENFILENAMEA& asked = Prompt::asked;
    EXPECT_EQ(asked.hwndOwner, d.hwnd()) << c.name;
    EXPECT_EQ(Prompt::filter, c.filter) << c.name;
    EXPECT_EQ(asked.nFilterIndex, 0u) << c.name;
    EXPECT_EQ(asked.nMaxFile, 260u) << c.name;
    EXPECT_TRUE(SuggestedNow(Prompt::start_name, c.extension)) << Prompt::start_name;
    EXPECT_EQ(Prompt::title, "select file for saving") << c.name;
    EXPECT_EQ(asked.Flags, static_cast<DWORD>(OFN_EXPLORER | OFN_PATHMUSTEXIST |
                                              OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT))
        << c.name;
    EXPECT_EQ(Prompt::extension, c.extension) << c.name;
  }

  const std::string packets = FileText(f.folder.path() + "\\packets.bin");
  EXPECT_EQ(packets.size(), 1600u);
  EXPECT_EQ(packets, std::string(reinterpret_cast<const char*>(d.store().byte_pool), 1600));
  const std::string log = FileText(f.folder.path() + "\\log.txt");
  EXPECT_EQ(log, std::string(SniffLogSaveData(d.store())));
  EXPECT_EQ(log.substr(0, 10), "\t0\tudp\t10.");
  EXPECT_EQ(PcapDatagrams(f.folder.path() + "\\packets.pcap"), f.scripted);
}

// Datagrams of 65,535 bytes, and the pool filled to its last byte: the
// session ends by itself, and the pcap file holds every stored datagram.
TEST(SaveCommands, PcapOfTheLargestDatagramsAndAFullPool) {
  SaveFixture f;
  ScriptedSource big;
  std::vector<Datagram> stored;
  uint32_t fill = 0;
  for (int k = 0; fill < kBytePoolSize; ++k) {
    const size_t size = std::min<size_t>(65535, kBytePoolSize - fill);
    std::vector<uint8_t> bytes = Udp(k, static_cast<uint16_t>(size - 28));
    bytes.back() = static_cast<uint8_t>(k);
    stored.push_back({bytes, {1712345678 + k, static_cast<uint32_t>(k)}});
    big.add(bytes, stored.back().time);
    fill += static_cast<uint32_t>(size);
  }
  big.add(Udp(99));  // does not fit: the pool is full
  MainDialogSetup setup = f.prompted_setup();
  setup.source = &big;
  RunningDialog d(setup);
  d.command(IDC_GO);
  ASSERT_TRUE(WaitUntil([&] { return Idle(d); }));
  ASSERT_EQ(d.row_count(), static_cast<int>(stored.size()) + 1);
  EXPECT_EQ(d.row(d.row_count() - 1), " capture ended: " + std::to_string(stored.size()) +
                                          " datagrams stored, the 819200 bytes for datagrams "
                                          "are full");
  EXPECT_EQ(d.store().pool_fill.load(), kBytePoolSize);
  EXPECT_EQ(stored.front().bytes.size(), 65535u);

  Prompt::Reset(f.folder.path() + "\\full.pcap");
  d.command(IDM_SAVE_PCAP);
  EXPECT_EQ(PcapDatagrams(Prompt::path), stored);
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
  for (const Case& c : cases) for (const int command : {IDM_SAVE_PACKETS, IDM_SAVE_PCAP}) {
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
    PostMessageA(d.hwnd(), WM_COMMAND, static_cast<WPARAM>(command), 0);
    EXPECT_EQ(AnswerMessageBox(d.thread_id(), "error:"), c.message) << c.name << " " << command;
    EXPECT_EQ(FileText(old_path), "old") << c.name << " " << command;
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
  // A name typed without an extension gets the dialog's default extension.
  struct Case {
    int command;
    const char* typed;
    const char* saved;
  } cases[] = {{IDM_SAVE_SNIFF_LOG, "typed", "typed.txt"},
               {IDM_SAVE_PCAP, "typed", "typed.pcap"}};
  for (const Case& c : cases) {
    PostMessageA(d.hwnd(), WM_COMMAND, static_cast<WPARAM>(c.command), 0);
    HWND dialog = WaitForSaveDialog(d);
    ASSERT_NE(dialog, nullptr) << c.saved;
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), d.hwnd());
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    SendMessageA(d.hwnd(), WM_NULL, 0, 0);
    EXPECT_EQ(ThreadWindow(d.thread_id(), "information:"), nullptr);
    EXPECT_EQ(ThreadWindow(d.thread_id(), "error:"), nullptr);
    EXPECT_EQ(FileText(f.folder.path() + "\\" + c.saved), "(missing)") << "cancelled";

    PostMessageA(d.hwnd(), WM_COMMAND, static_cast<WPARAM>(c.command), 0);
    dialog = WaitForSaveDialog(d);
    ASSERT_NE(dialog, nullptr) << c.saved;
    const std::string typed = f.folder.path() + "\\" + c.typed;
    SetDlgItemTextA(dialog, kFileDialogNameField, typed.c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    SendMessageA(d.hwnd(), WM_NULL, 0, 0);
  }
  EXPECT_EQ(FileText(f.folder.path() + "\\typed.txt"), std::string(SniffLogSaveData(d.store())));
  EXPECT_EQ(PcapDatagrams(f.folder.path() + "\\typed.pcap"), f.scripted);
}

}  // namespace
}  // namespace pw::test

namespace pw::test {
namespace {

TEST(SaveCommands, FileDialogsStartInTheFolderUsedLastElseInDocuments) {
  SaveFixture f;
  RunningDialog d(f.prompted_setup());
  ASSERT_TRUE(CaptureAll(d, f.source, 3));
  char documents[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(
      SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)));
  const std::string chosen = f.folder.path() + "\\chosen";
  CreateDirectoryA(chosen.c_str(), nullptr);
  const struct {
    const char* name;
    int command;
    std::string answer;  // empty: cancelled
    std::string folder;  // where the dialog starts
  } steps[] = {
      {"first, cancelled", IDM_SAVE_SNIFF_LOG, "", documents},
      {"a cancel keeps it", IDM_SAVE_PCAP, chosen + "\\a.pcap", documents},
      {"the save's folder", IDM_OPEN_CAPTURE, "", chosen},
      {"for every kind", IDM_SAVE_PACKETS, f.folder.path() + "\\b.bin", chosen},
      {"the last one", IDM_SAVE_SNIFF_LOG, "", f.folder.path()},
  };
  for (const auto& s : steps) {
    Prompt::Reset(s.answer);
    d.command(s.command);
    ASSERT_EQ(Prompt::calls, 1) << s.name;
    EXPECT_EQ(Prompt::folder, s.folder) << s.name;
  }
  EXPECT_EQ(Prompt::title, "select file for saving");
  ASSERT_TRUE(WaitUntil([&] { return Idle(d); }));
}

}  // namespace
}  // namespace pw::test
