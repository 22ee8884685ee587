// "capture &into file..." in the real dialog: the check item and its
// save-file dialog, a capture file copied whole past the store while the
// list keeps the store's rows and the written count, failed writes on the
// list's error row, and the file written into refused as a capture file.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/capture_files.h"
#include "windows/gui_fixture.h"

namespace pw::test {
namespace {

struct MenuState {
  bool checked;
  bool greyed;
};

MenuState CaptureIntoState(const RunningDialog& d) {
  HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_POPUP_MENU));
  HMENU popup = GetSubMenu(menu, 0);
  SendMessageA(d.hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
  const UINT state = GetMenuState(popup, IDM_CAPTURE_TO_FILE, MF_BYCOMMAND);
  DestroyMenu(menu);
  return {(state & MF_CHECKED) != 0, (state & MF_GRAYED) != 0};
}

// The command chosen with the save-file dialog answering `path`.
void CaptureInto(const RunningDialog& d, const std::string& path) {
  Prompt::Reset(path);
  d.command(IDM_CAPTURE_TO_FILE);
}

// The list's last row begins with `text` (the end row follows the return to
// idle in the same message).
bool EndsWith(const RunningDialog& d, const std::string& text) {
  return WaitUntil([&] { return d.row(d.row_count() - 1).rfind(text, 0) == 0; }, 5000);
}

std::vector<Datagram> ManyUdp(int n) {
  std::vector<Datagram> datagrams;
  for (int k = 0; k < n; ++k) datagrams.push_back({Udp(k), {1700000000 + k, 1000u * k}});
  return datagrams;
}

TEST(CaptureIntoFile, ChosenFileChecksItChosenAgainUnchecksGreyedWhileRunningNotKept) {
  FileFixture f(kAllOptionsOn);
  const std::string out = f.file("go.pcap");
  {
    RunningDialog d(f.prompted_setup());
    EXPECT_FALSE(CaptureIntoState(d).checked);
    CaptureInto(d, "");
    EXPECT_EQ(Prompt::calls, 1);
    EXPECT_FALSE(CaptureIntoState(d).checked) << "a cancelled dialog checks nothing";

    CaptureInto(d, out);
    EXPECT_TRUE(CaptureIntoState(d).checked);
    const char filter[] = "pcap files (*.pcap)\0*.pcap\0All Files (*.*)\0*.*\0";
    EXPECT_EQ(Prompt::filter, std::string(filter, sizeof filter - 1));
    EXPECT_EQ(Prompt::extension, "pcap");
    EXPECT_EQ(Prompt::asked.hwndOwner, d.hwnd());
    CaptureInto(d, out);
    EXPECT_FALSE(CaptureIntoState(d).checked);
    EXPECT_EQ(Prompt::calls, 0) << "unchecking asks for no file";

    CaptureInto(d, out);
    d.command(IDC_GO);
    const std::string count = " writing " + out + ": 1 datagram";
    EXPECT_TRUE(WaitUntil([&] { return d.row_count() == 2 && d.row(1) == count; }));
    EXPECT_TRUE(CaptureIntoState(d).greyed);
    CaptureInto(d, "");
    EXPECT_EQ(Prompt::calls, 0) << "greyed while the session runs";
    EXPECT_EQ(WindowText(d.hwnd()), "Pebblewire");
    d.command(IDC_STOP);
    bool tip = false;
    for (const TrayCall& call : f.tray.calls()) tip |= call.tip == "writing go.pcap: 1 datagram";
    EXPECT_TRUE(tip) << "the notification icon's tip says how many were written";
    EXPECT_FALSE(CaptureIntoState(d).greyed);
    EXPECT_TRUE(CaptureIntoState(d).checked);
    const ReadResult written = ReadAll(FileText(out));
    ASSERT_EQ(written.datagrams.size(), 1u);
    EXPECT_EQ(written.datagrams[0].bytes, Udp(0));
  }
  for (const auto& [key, value] : f.folder.ini_values()) {
    EXPECT_EQ(value.find("go.pcap"), std::string::npos) << key;
  }
}

TEST(CaptureIntoFile, AnOpenedFileIsCopiedWholeWhileTheListKeepsTheStoresRows) {
  FileFixture f;
  RunningDialog d(f.prompted_setup());
  const std::vector<Datagram> many = ManyUdp(25000);
  const std::string in = f.file("many.pcap");
  const std::string out = f.file("copy.pcap");
  std::string error;
  ASSERT_TRUE(WriteAll(in, many, error)) << error;
  CaptureInto(d, out);
  ASSERT_TRUE(OpenAndRead(d, in));

  EXPECT_TRUE(EndsWith(d, " capture ended: 25000 datagrams written, 10000 stored, end of the file"));
  EXPECT_EQ(ReadAll(FileText(out)).datagrams, many);
  ASSERT_EQ(d.row_count(), 10002);
  EXPECT_EQ(d.row(9999).rfind("\t9999\tudp\t", 0), 0u);
  EXPECT_EQ(d.row(10000), " writing " + out + ": 25000 datagrams");
  EXPECT_TRUE(Idle(d));

  // "save as pcap" saves what the store holds.
  Prompt::Reset(f.file("saved.pcap"));
  d.command(IDM_SAVE_PCAP);
  EXPECT_EQ(ReadAll(FileText(f.file("saved.pcap"))).datagrams,
            std::vector<Datagram>(many.begin(), many.begin() + 10000));
}

// Opens, then writes `room` bytes and fails as a full disk does.
class FullDisk final : public StreamFile {
 public:
  explicit FullDisk(size_t room) : room_(room) {}
  bool open(const std::string&) override { return true; }
  size_t write(const uint8_t*, size_t size) override {
    const size_t done = size < room_ ? size : room_;
    room_ -= done;
    if (done < size) error_ = "there is not enough space on the disk";
    return done;
  }
  bool truncate(uint64_t) override { return true; }
  bool sync() override { return true; }
  bool close() override { return true; }
  const std::string& error() const override { return error_; }
  int error_number() const override { return error_.empty() ? 0 : ERROR_DISK_FULL; }

 private:
  size_t room_;
  std::string error_;
};

TEST(CaptureIntoFile, AFileThatCannotBeWrittenIsShownOnTheErrorRow) {
  FileFixture f;
  const std::string in = f.file("three.pcap");
  std::string error;
  ASSERT_TRUE(WriteAll(in, ManyUdp(3), error)) << error;
  FullDisk header_only(24);
  FullDisk no_room(0);
  const std::string missing = f.file("no-folder\\x.pcap");
  struct Case {
    StreamFile* file;  // null: the system's
    std::string path;
    std::string row;  // the last row (a prefix for the system's own text)
  } cases[] = {
      {&header_only, f.file("x.pcap"),
       " capture failed: cannot write " + f.file("x.pcap") + ": there is not enough space on the disk"},
      {&no_room, f.file("x.pcap"),
       " capture failed: " + f.file("x.pcap") + ": there is not enough space on the disk"},
      {nullptr, missing, " capture failed: " + missing + ": "},
  };
  for (const Case& c : cases) {
    MainDialogSetup setup = f.prompted_setup();
    setup.stream_file = c.file;
    RunningDialog d(setup);
    CaptureInto(d, c.path);
    ASSERT_TRUE(OpenAndRead(d, in));
    EXPECT_TRUE(EndsWith(d, c.row)) << d.row(d.row_count() - 1);
    EXPECT_TRUE(Idle(d)) << c.path;
  }
}

TEST(CaptureIntoFile, TheFileWrittenIntoIsNotOpenedWhateverItsName) {
  FileFixture f;
  RunningDialog d(f.prompted_setup());
  const std::string out = f.file("out.pcap");
  const std::string link = f.file("link.pcap");
  std::string error;
  ASSERT_TRUE(WriteAll(out, ManyUdp(3), error)) << error;
  ASSERT_TRUE(CreateHardLinkA(link.c_str(), out.c_str(), nullptr));
  const std::string before = FileText(out);
  CaptureInto(d, out);
  for (const std::string& name : {out, link, f.folder.path() + "\\.\\OUT.pcap"}) {
    const std::vector<std::string> rows = d.rows();
    Prompt::Reset(name);
    PostMessageA(d.hwnd(), WM_COMMAND, IDM_OPEN_CAPTURE, 0);
    EXPECT_EQ(AnswerMessageBox(d.thread_id(), "error:"),
              "cannot open " + name + ": it is the file being captured into");
    SendMessageA(d.hwnd(), WM_NULL, 0, 0);
    EXPECT_EQ(d.rows(), rows) << name;
    EXPECT_EQ(FileText(out), before) << name;
  }
  // Another file is read and copied.
  const std::string other = f.file("other.pcap");
  ASSERT_TRUE(WriteAll(other, ManyUdp(2), error)) << error;
  ASSERT_TRUE(OpenAndRead(d, other));
  EXPECT_EQ(ReadAll(FileText(out)).datagrams, ManyUdp(2));
}

}  // namespace
}  // namespace pw::test
