// Capture files in the real dialog: "open capture &file..." and the
// command line's file are read through the capture session and listed and
// decoded as the Linux program lists and decodes them (the golden files of
// front_end_cases.h); "save as p&cap..." after opening a capture writes the
// golden pcap; damaged files, the packet limit and a full pool; one session
// at a time, a refused start, "go!" after a file; the command line's quoting
// through pebblewire.exe itself, and the second-start rule with a file.
//
// PW_UPDATE_EXPECTED=1 writes the golden pcap anew instead of comparing.
#include <windows.h>
#include <commdlg.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gui/start_file.h"
#include "support/capture_files.h"
#include "support/front_end_cases.h"
#include "support/test_data.h"
#include "windows/gui_fixture.h"

namespace pw::test {
namespace {

// The committed data as the programs under Wine name it.
std::string HostDataFile(const std::string& name) { return HostPath(DataFile(name)); }

std::string HostExpectedFile(const std::string& name) { return HostPath(ExpectedFile(name)); }

// The lines of a text, without their "\n".
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

std::vector<std::string> ExpectedRows(const FrontEndCase& c) {
  return Lines(FileText(HostExpectedFile(ExpectedRowsName(c))));
}

// The list after a file was read to its end: the Linux program's rows, then
// why the session ended and how many datagrams it stored.
std::vector<std::string> FileRows(const FrontEndCase& c) {
  std::vector<std::string> rows = ExpectedRows(c);
  const size_t n = rows.size();
  rows.push_back(" capture ended: " + std::to_string(n) + (n == 1 ? " datagram" : " datagrams") +
                 " stored, end of the file");
  return rows;
}

const FrontEndCase& kPlainCase = kFrontEndCases[0];  // tcpdump_lo_nano.pcap, tcp and udp

// A first run's views for the details report (text mode for TCP data, hex
// for UDP only), with the window kept on the screen.
const std::string kFirstRunViews =
    "[Config]\r\nSaveSessionPreferences=Yes\r\nEnableFlipToTray=No\r\n"
    "DataInHexViewOnlyUdp=Yes\r\nTcpDataInTextView=Yes\r\nOnTcp=Yes\r\nOnUdp=Yes\r\n";

const std::string kNetworkRow = "\t0\tudp\t10.0.0.1\t1000\t10.0.0.2\t53\t40\t64";

// The from and to fields, "both traffic" and the protocol boxes of a case.
void SetFilter(const RunningDialog& d, const FrontEndCase& c) {
  SetWindowTextA(d.item(IDC_FROM), c.from);
  SetWindowTextA(d.item(IDC_TO), c.to);
  const std::string checked = std::string(",") + c.protocols + ",";
  const struct {
    int id;
    const char* name;
  } boxes[] = {{IDC_TCP, "tcp"}, {IDC_UDP, "udp"}, {IDC_ICMP, "icmp"},
               {IDC_IGMP, "igmp"}, {IDC_RAW, "raw"}};
  for (const auto& box : boxes) {
    const bool on = checked.find(std::string(",") + box.name + ",") != std::string::npos;
    SendMessageA(d.item(box.id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  SendMessageA(d.item(IDC_BOTH_TRAFFIC), BM_SETCHECK,
               c.both_traffic ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool OpenCommandGreyed(const RunningDialog& d) {
  HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_POPUP_MENU));
  HMENU popup = GetSubMenu(menu, 0);
  SendMessageA(d.hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
  const bool greyed = (GetMenuState(popup, IDM_OPEN_CAPTURE, MF_BYCOMMAND) & MF_GRAYED) != 0;
  DestroyMenu(menu);
  return greyed;
}

std::string FailureRow(const std::string& path, const std::string& reason) {
  return " capture failed: " + path + ": " + reason;
}

TEST(CaptureFiles, TheMenuHasTheFileCommandsBesideTheSaveCommands) {
  HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_POPUP_MENU));
  HMENU popup = GetSubMenu(menu, 0);
  const std::vector<std::pair<std::string, UINT>> expected = {
      {"packets in &details", IDM_DETAILS}, {"save &packets source", IDM_SAVE_PACKETS},
      {"&save sniff log", IDM_SAVE_SNIFF_LOG}, {"save as p&cap...", IDM_SAVE_PCAP},
      {"open capture &file...", IDM_OPEN_CAPTURE},
      {"capture &into file...", IDM_CAPTURE_TO_FILE}, {"&about...", IDM_ABOUT},
      {"", 0}, {"&options", static_cast<UINT>(-1)}, {"", 0}, {"e&xit", IDM_EXIT}};
  std::vector<std::pair<std::string, UINT>> items;
  for (int i = 0; i < GetMenuItemCount(popup); ++i) {
    char text[64] = {};
    GetMenuStringA(popup, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    items.emplace_back(text, GetMenuItemID(popup, i));
  }
  DestroyMenu(menu);
  EXPECT_EQ(items, expected);
}

// Collects in `repeated` the items of `menu` and of the levels below it
// whose access key an earlier item of the same level has.
void RepeatedAccessKeys(HMENU menu, std::vector<std::string>& repeated) {
  std::string keys;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char text[64] = {};
    GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    const char* amp = std::strchr(text, '&');
    if (amp != nullptr && amp[1] != '\0') {
      const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(amp[1])));
      if (keys.find(key) != std::string::npos) repeated.push_back(text);
      keys += key;
    }
    if (HMENU below = GetSubMenu(menu, i)) RepeatedAccessKeys(below, repeated);
  }
}

TEST(CaptureFiles, EachLevelOfTheMenuHasUniqueAccessKeys) {
  HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_POPUP_MENU));
  std::vector<std::string> repeated;
  RepeatedAccessKeys(GetSubMenu(menu, 0), repeated);
  DestroyMenu(menu);
  EXPECT_EQ(repeated, std::vector<std::string>{});
}

TEST(CaptureFiles, TheOpenCommandListsWhatTheLinuxProgramLists) {
  FileFixture f(kFirstRunViews);
  RunningDialog d(f.prompted_setup());
  for (const FrontEndCase& c : kFrontEndCases) {
    SetFilter(d, c);
    ASSERT_TRUE(OpenAndRead(d, HostDataFile(c.capture))) << c.name;
    EXPECT_EQ(d.rows(), FileRows(c)) << c.name;
    EXPECT_TRUE(Idle(d)) << c.name;
    EXPECT_EQ(d.focus(), d.item(IDC_GO)) << c.name;
  }
  EXPECT_EQ(f.privilege.calls, 0) << "reading a file needs no right to capture";
  EXPECT_EQ(f.source.opens(), 0);

  const OPENFILENAMEA& asked = Prompt::asked;
  EXPECT_EQ(asked.hwndOwner, d.hwnd());
  const char filter[] =
      "capture files (*.pcap;*.pcapng;*.cap)\0*.pcap;*.pcapng;*.cap\0All Files (*.*)\0*.*\0";
  EXPECT_EQ(Prompt::filter, std::string(filter, sizeof filter - 1));
  EXPECT_EQ(asked.nFilterIndex, 0u);
  EXPECT_EQ(asked.nMaxFile, 260u);
  EXPECT_EQ(Prompt::start_name, "") << "an open dialog suggests no name";
  EXPECT_EQ(Prompt::folder, HostPath(PW_TEST_DATA)) << "the folder of the file opened last";
  EXPECT_EQ(Prompt::title, "select file for opening");
  EXPECT_EQ(asked.Flags, static_cast<DWORD>(OFN_EXPLORER | OFN_PATHMUSTEXIST |
                                            OFN_FILEMUSTEXIST | OFN_HIDEREADONLY));
  EXPECT_EQ(Prompt::extension, "(null)");

  // Cancelled: nothing happens.
  const std::vector<std::string> before = d.rows();
  Prompt::Reset("");
  d.command(IDM_OPEN_CAPTURE);
  EXPECT_EQ(Prompt::calls, 1);
  EXPECT_EQ(d.rows(), before);
  EXPECT_TRUE(Idle(d));
}

TEST(CaptureFiles, TheRealOpenDialogCancelledAndChosen) {
  FileFixture f;
  RunningDialog d(f.setup());
  const std::vector<std::string> before = d.rows();
  for (const bool choose : {false, true}) {
    PostMessageA(d.hwnd(), WM_COMMAND, IDM_OPEN_CAPTURE, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
      dialog = ThreadWindow(d.thread_id(), "select file for opening");
      return dialog != nullptr && IsWindowVisible(dialog);
    }));
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), d.hwnd());
    if (choose) {
      SetDlgItemTextA(dialog, kFileDialogNameField, HostDataFile(kPlainCase.capture).c_str());
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    } else {
      PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    SendMessageA(d.hwnd(), WM_NULL, 0, 0);
    const std::vector<std::string> expected = choose ? FileRows(kPlainCase) : before;
    EXPECT_TRUE(WaitUntil([&] { return d.rows() == expected && Idle(d); })) << choose;
  }
}

TEST(CaptureFiles, DetailsAreTheLinuxProgramsReports) {
  FileFixture f(kFirstRunViews);
  RunningDialog d(f.prompted_setup());
  for (const DetailsCase& c : kDetailsCases) {
    SetFilter(d, c.session);
    ASSERT_TRUE(OpenAndRead(d, HostDataFile(c.session.capture))) << ExpectedDetailsName(c);
    ASSERT_TRUE(ChooseRow(d, static_cast<int>(c.index)));
    d.command(IDM_DETAILS);
    std::string shown;
    for (const std::string& entry :
         ListEntries(GetDlgItem(d.program().details_window(), IDC_DETAILS_LIST))) {
      shown += entry + "\n";
    }
    EXPECT_EQ(shown, FileText(HostExpectedFile(ExpectedDetailsName(c)))) << ExpectedDetailsName(c);
  }
}

TEST(CaptureFiles, SaveAsPcapAfterOpeningWritesTheGoldenFile) {
  FileFixture f;
  RunningDialog d(f.prompted_setup());
  SetFilter(d, kPlainCase);
  ASSERT_TRUE(OpenAndRead(d, HostDataFile(kWrittenPcapCapture)));
  Prompt::Reset(f.folder.path() + "\\written.pcap");
  d.command(IDM_SAVE_PCAP);
  const std::string written = FileText(Prompt::path);
  if (std::getenv("PW_UPDATE_EXPECTED") != nullptr) {
    CopyFileA(Prompt::path.c_str(), HostExpectedFile(kWrittenPcapName).c_str(), FALSE);
  }
  EXPECT_EQ(written, FileText(HostExpectedFile(kWrittenPcapName)));
  // Every datagram of the capture, with its time.
  const ReadResult original = ReadAll(FileText(HostDataFile(kWrittenPcapCapture)));
  const ReadResult read_back = ReadAll(written);
  EXPECT_EQ(read_back.last, ReadOutcome::kEnd) << read_back.error;
  EXPECT_EQ(read_back.datagrams.size(), 4u);
  EXPECT_EQ(read_back.datagrams, original.datagrams);
}

// A file that mixes both families: every datagram of it, IPv6 and IPv4,
// is saved as the capture file had it.
TEST(CaptureFiles, SaveAsPcapKeepsBothFamiliesOfAMixedFile) {
  const FrontEndCase& mixed = kFrontEndCases[7];  // tcpdump_lo_mixed.pcap, all of it
  FileFixture f;
  RunningDialog d(f.prompted_setup());
  SetFilter(d, mixed);
  ASSERT_TRUE(OpenAndRead(d, DataFile(mixed.capture)));
  Prompt::Reset(f.folder.path() + "\\mixed.pcap");
  d.command(IDM_SAVE_PCAP);
  const ReadResult original = ReadAll(FileText(DataFile(mixed.capture)));
  const ReadResult read_back = ReadAll(FileText(Prompt::path));
  EXPECT_EQ(read_back.last, ReadOutcome::kEnd) << read_back.error;
  ASSERT_EQ(read_back.datagrams.size(), 14u);
  EXPECT_EQ(read_back.datagrams, original.datagrams);
  EXPECT_EQ(read_back.datagrams[0].bytes[0] >> 4, 6);
  EXPECT_EQ(read_back.datagrams[1].bytes[0] >> 4, 4);
}

// The offset of record `n` (from 1) of a classic pcap file in the
// writing machine's byte order (little-endian here).
size_t RecordOffset(const std::string& file, int n) {
  size_t at = 24;
  for (int k = 1; k < n; ++k) {
    const auto* length = reinterpret_cast<const uint8_t*>(file.data() + at + 8);
    at += 16 + (length[0] | length[1] << 8 | length[2] << 16 | static_cast<size_t>(length[3]) << 24);
  }
  return at;
}

TEST(CaptureFiles, ADamagedFileEndsAfterItsWholeDatagrams) {
  FileFixture f;
  RunningDialog d(f.prompted_setup());
  const std::string capture = FileText(HostDataFile("tcpdump_lo_nano.pcap"));
  const size_t third = RecordOffset(capture, 3);
  const std::vector<std::string> rows = ExpectedRows(kPlainCase);
  struct Case {
    const char* name;
    std::string bytes;
    size_t whole;  // rows of the datagrams before the damage
    std::string reason;
  } cases[] = {
      {"cut.pcap", capture.substr(0, third + 20), 2,
       "cut short in the middle of record 3 (at byte " + std::to_string(third) + ")"},
      {"header.pcap", capture.substr(0, 10), 0, "cut short in the file header"},
      {"text.pcap", FileText(HostDataFile("text2pcap_eth.txt")), 0, "not a pcap or pcapng file"},
      {"empty.pcap", "", 0, "the file is empty"},
  };
  for (const Case& c : cases) {
    const std::string path = f.folder.path() + "\\" + c.name;
    WriteBytes(path, c.bytes);
    ASSERT_TRUE(OpenAndRead(d, path)) << c.name;
    std::vector<std::string> expected(rows.begin(), rows.begin() + static_cast<long>(c.whole));
    expected.push_back(FailureRow(path, c.reason));
    EXPECT_EQ(d.rows(), expected) << c.name;
    EXPECT_TRUE(Idle(d)) << c.name;
  }
  // "go!" captures from the network again.
  d.command(IDC_GO);
  ASSERT_TRUE(WaitUntil([&] { return d.row_count() == 1 && f.source.blocked(); }));
  EXPECT_EQ(d.row(0), kNetworkRow);
  d.command(IDC_STOP);
  EXPECT_EQ(f.privilege.calls, 1);
}

TEST(CaptureFiles, TheLimitAndAFullPoolEndAFileAsTheyEndACapture) {
  FileFixture f;
  RunningDialog d(f.prompted_setup());
  std::vector<Datagram> many;
  for (int k = 0; k < 10001; ++k) many.push_back({Udp(k), {1700000000 + k, 0}});
  std::vector<Datagram> big;
  for (int k = 0; k < 13; ++k) big.push_back({Udp(k, 65535 - 28), {1700000000 + k, 0}});
  struct Case {
    const char* name;
    const std::vector<Datagram>& datagrams;
    int rows;
    std::string end;  // the row after the datagrams' rows
  } cases[] = {
      {"many.pcap", many, 10000, " capture ended: 10000 datagrams stored, the most a session holds"},
      {"big.pcap", big, 12,
       " capture ended: 12 datagrams stored, the 819200 bytes for datagrams are full"}};
  for (const Case& c : cases) {
    const std::string path = f.folder.path() + "\\" + c.name;
    std::string error;
    ASSERT_TRUE(WriteAll(path, c.datagrams, error)) << error;
    ASSERT_TRUE(OpenAndRead(d, path)) << c.name;
    EXPECT_EQ(d.row_count(), c.rows + 1) << c.name;
    EXPECT_EQ(d.row(c.rows - 1).rfind("\t" + std::to_string(c.rows - 1) + "\tudp\t", 0), 0u)
        << c.name;
    EXPECT_EQ(d.row(c.rows), c.end);
    EXPECT_TRUE(Idle(d)) << c.name;
  }
}

TEST(CaptureFiles, OneSessionAtATimeAndGoCapturesTheNetworkAgain) {
  FileFixture f;
  RunningDialog d(f.prompted_setup());
  EXPECT_FALSE(OpenCommandGreyed(d));
  d.command(IDC_GO);
  ASSERT_TRUE(WaitUntil([&] { return d.row_count() == 1 && f.source.blocked(); }));
  EXPECT_TRUE(OpenCommandGreyed(d));
  Prompt::Reset(HostDataFile(kPlainCase.capture));
  d.command(IDM_OPEN_CAPTURE);
  EXPECT_EQ(Prompt::calls, 0) << "no dialog while a session runs";
  EXPECT_TRUE(d.enabled(IDC_STOP));
  EXPECT_EQ(d.row_count(), 1);
  d.command(IDC_STOP);
  EXPECT_FALSE(OpenCommandGreyed(d));

  ASSERT_TRUE(OpenAndRead(d, HostDataFile(kPlainCase.capture)));
  EXPECT_EQ(d.rows(), FileRows(kPlainCase));
  f.source.rewind();
  d.command(IDC_GO);
  ASSERT_TRUE(WaitUntil([&] { return d.row_count() == 1 && f.source.blocked(); }));
  EXPECT_EQ(d.row(0), kNetworkRow);
  EXPECT_EQ(f.source.opens(), 2);
  EXPECT_EQ(f.privilege.calls, 2);
  d.command(IDC_STOP);
}

TEST(CaptureFiles, AFileNeedsNoRightToCaptureAndGoStaysRefused) {
  FileFixture f;
  f.privilege.result = {true, false};
  RunningDialog d(f.prompted_setup());
  d.command(IDC_GO);
  EXPECT_EQ(d.rows(), std::vector<std::string>{" administrators rights required!"});
  EXPECT_FALSE(OpenCommandGreyed(d));
  ASSERT_TRUE(OpenAndRead(d, HostDataFile(kPlainCase.capture)));
  EXPECT_EQ(d.rows(), FileRows(kPlainCase));
  EXPECT_FALSE(d.enabled(IDC_GO)) << "the refusal stands for the network";
  EXPECT_FALSE(d.enabled(IDC_STOP));
  EXPECT_TRUE(d.enabled(IDC_BOTH_TRAFFIC));
  EXPECT_EQ(f.privilege.calls, 1);
  EXPECT_EQ(f.source.opens(), 0);
}

TEST(CommandLine, AFirstStartOpensItsFileOnceInitialised) {
  struct Case {
    const char* name;
    std::string settings;  // empty: a first run
    std::string file;
    std::vector<std::string> rows;
    bool icon;  // flip to tray is on: the icon is there, the window shown
  } cases[] = {
      {"first run", "", HostDataFile(kPlainCase.capture), FileRows(kPlainCase), true},
      {"flip to tray on", kAllOptionsOn, HostDataFile(kPlainCase.capture), FileRows(kPlainCase),
       true},
      {"preferences off", kPreferencesOff, HostDataFile(kPlainCase.capture),
       FileRows(kPlainCase), false},
      {"missing file", kPreferencesOff, HostDataFile("missing.pcap"),
       {FailureRow(HostDataFile("missing.pcap"), "No such file or directory")}, false},
  };
  for (const Case& c : cases) {
    Fixture f;
    if (!c.settings.empty()) f.folder.write_ini(c.settings);
    MainDialogSetup setup = f.setup();
    setup.start_file = c.file;
    RunningDialog d(setup, c.settings.empty());
    EXPECT_EQ(d.about_box() != nullptr, c.settings.empty()) << c.name;
    EXPECT_TRUE(WaitUntil([&] { return d.rows() == c.rows && Idle(d); })) << c.name;
    EXPECT_EQ(d.rows(), c.rows) << c.name;
    EXPECT_TRUE(IsWindowVisible(d.hwnd())) << c.name;
    EXPECT_FALSE(d.program().tray().hidden()) << c.name;
    EXPECT_EQ(f.tray.present(), c.icon) << c.name;
    EXPECT_EQ(f.privilege.calls, 0) << c.name;
  }
}

// The program's own settings file (in the application-data folder of the
// test's Wine prefix): preferences off for the test, so that the program
// shows no about box and stays on the screen; the earlier content back at
// the end.
class ProgramSettings {
 public:
  ProgramSettings() {
    store_.find_application_folder();
    path_ = store_.application_folder() + "\\gravlin.ini";
    earlier_ = FileText(path_);
    CreateDirectoryA(store_.application_folder().c_str(), nullptr);
    WriteBytes(path_, kPreferencesOff);
  }
  ~ProgramSettings() {
    if (earlier_ == "(missing)") {
      DeleteFileA(path_.c_str());
    } else {
      WriteBytes(path_, earlier_);
    }
  }

 private:
  Win32IniStore store_;
  std::string path_;
  std::string earlier_;
};

// The shown top-level window of process `id` with this title, or null.
HWND ProcessWindow(DWORD id, const char* title) {
  HWND window = nullptr;
  while ((window = FindWindowExA(nullptr, window, nullptr, title)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == id && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

// The rows of another process's main window, as its "&save sniff log"
// writes them to `path` through the real save-file dialog (a list box
// does not hand its texts to another process under Wine).
std::string SavedSniffLog(HWND window, DWORD process, const std::string& path) {
  PostMessageA(window, WM_COMMAND, IDM_SAVE_SNIFF_LOG, 0);
  HWND dialog = nullptr;
  if (!WaitUntil([&] {
        return (dialog = ProcessWindow(process, "select file for saving")) != nullptr;
      })) {
    return "(no save dialog)";
  }
  SetDlgItemTextA(dialog, kFileDialogNameField, path.c_str());
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  WaitUntil([&] { return !IsWindow(dialog) && FileText(path) != "(missing)"; });
  return FileText(path);
}

TEST(CommandLine, TheProgramOpensAPathWithSpacesQuotedOrNot) {
  ProgramSettings settings;
  TempFolder folder;
  const std::string spaced = folder.path() + "\\with spaces";
  CreateDirectoryA(spaced.c_str(), nullptr);
  const std::string capture = spaced + "\\a capture.pcap";
  ASSERT_TRUE(CopyFileA(HostDataFile(kPlainCase.capture).c_str(), capture.c_str(), FALSE));
  std::string rows;
  for (const std::string& row : ExpectedRows(kPlainCase)) rows += row + "\r\n";
  int runs = 0;
  for (const std::string& arguments : {"\"" + capture + "\"", capture}) {
    std::string command = "\"" + HostPath(PW_PROGRAM) + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
        << command;
    HWND window = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
      return (window = ProcessWindow(process.dwProcessId, kMainWindowTitle)) != nullptr;
    }));
    if (window != nullptr) {
      EXPECT_TRUE(WaitUntil([&] {
        return SendMessageA(GetDlgItem(window, IDC_LIST), LB_GETCOUNT, 0, 0) == 5 &&
               IsWindowEnabled(GetDlgItem(window, IDC_GO));
      }));
      const std::string log = folder.path() + "\\log" + std::to_string(++runs) + ".txt";
      EXPECT_EQ(SavedSniffLog(window, process.dwProcessId, log), rows) << arguments;
      PostMessageA(window, WM_CLOSE, 0, 0);
    }
    DWORD code = 99;
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
}

TEST(SecondStart, HandsItsFileToTheRunningWindowWhenIdle) {
  FileFixture f;
  RunningDialog d(f.setup());
  SetFilter(d, kFrontEndCases[3]);
  const std::string system_row = d.row(0);
  const std::string plain = "\"" + HostDataFile(kPlainCase.capture) + "\"";
  const std::string other = "\"" + HostDataFile(kFrontEndCases[3].capture) + "\"";
  struct Step {
    const char* name;
    int before;  // a command given first, or 0
    std::string arguments;
    std::vector<std::string> rows;
    std::string folder = "";  // the second start's current folder
  } steps[] = {
      {"no file: only to the front", 0, "12abc", {system_row}},
      {"a file: opened", 0, plain, FileRows(kPlainCase)},
      {"a file while a session runs: ignored", IDC_GO, other, {kNetworkRow}},
      {"a file after stop: opened", IDC_STOP, other, FileRows(kFrontEndCases[3])},
      {"a name in the second start's folder", 0, kPlainCase.capture, FileRows(kPlainCase),
       HostDataFile("")},
  };
  for (const Step& s : steps) {
    if (s.before != 0) d.command(s.before);
    if (s.before == IDC_GO) {
      ASSERT_TRUE(WaitUntil([&] { return d.row_count() == 1 && f.source.blocked(); }));
    }
    HWND front = CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                 200, 100, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(front);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    EXPECT_EQ(RunProgram(PW_PROGRAM, s.arguments, s.folder), 0) << s.name;
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == d.hwnd(); }, 5000)) << s.name;
    const bool capturing = s.before == IDC_GO;
    EXPECT_TRUE(WaitUntil([&] { return d.rows() == s.rows && d.enabled(IDC_STOP) == capturing; }))
        << s.name;
    EXPECT_EQ(d.rows(), s.rows) << s.name;
    DestroyWindow(front);
  }
  EXPECT_FALSE(d.ended());
}

TEST(SecondStart, AHandedOverFileShowsAWindowHiddenInTheNotificationArea) {
  FileFixture f(kAllOptionsOn);
  RunningDialog d(f.setup());
  ASSERT_TRUE(HideInTray(d));
  EXPECT_TRUE(HandOverCaptureFile(d.hwnd(), HostDataFile(kPlainCase.capture)));
  EXPECT_TRUE(IsWindowVisible(d.hwnd()));
  EXPECT_FALSE(d.program().tray().hidden());
  EXPECT_TRUE(WaitUntil([&] { return d.rows() == FileRows(kPlainCase) && Idle(d); }));
}

TEST(SecondStart, OnlyAHandOverOfAFileOpensOne) {
  FileFixture f;
  RunningDialog d(f.setup());
  const std::string path = HostDataFile(kPlainCase.capture);
  std::string unterminated = path + "x";  // the x lies beyond cbData
  struct Case {
    const char* name;
    ULONG_PTR tag;
    const char* data;
    DWORD size;
    bool opened;
  } cases[] = {
      {"another tag", PW_COPYDATA_CAPTURE_FILE + 1, path.c_str(), DWORD(path.size() + 1), false},
      {"no data", PW_COPYDATA_CAPTURE_FILE, nullptr, 0, false},
      {"an empty path", PW_COPYDATA_CAPTURE_FILE, "", 1, false},
      {"no NUL: the length counts", PW_COPYDATA_CAPTURE_FILE, unterminated.c_str(),
       DWORD(path.size()), true},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> before = d.rows();
    COPYDATASTRUCT data{c.tag, c.size, const_cast<char*>(c.data)};
    EXPECT_EQ(SendMessageA(d.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)) != 0,
              c.opened)
        << c.name;
    if (c.opened) {
      EXPECT_TRUE(WaitUntil([&] { return d.rows() == FileRows(kPlainCase) && Idle(d); }))
          << c.name;
    } else {
      EXPECT_EQ(d.rows(), before) << c.name;
    }
  }
  EXPECT_FALSE(HandOverCaptureFile(d.hwnd(), HostDataFile("missing.pcap")));
}

}  // namespace
}  // namespace pw::test
