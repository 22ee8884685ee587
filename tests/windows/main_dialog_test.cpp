// The real main dialog, driven with messages under Wine: start-up, settings
// file, capture through the session engine with a scripted source, the
// enable rules, "on top", Esc, closing, and the second-start rule.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "shell/system_error.h"
#include "windows/gui_fixture.h"

#ifndef PW_PROGRAM
#error "PW_PROGRAM names pebblewire.exe"
#endif

namespace pw::test {
namespace {

AdapterQuery NoAdapters() {
  AdapterQuery q;
  q.no_adapters = true;
  return q;
}

BOOL Windows98SecondEdition(OSVERSIONINFOA* v) {
  // Refuses the extended record, as the 95 family does.
  if (v->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return FALSE;
  v->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
  v->dwMajorVersion = 4;
  v->dwMinorVersion = 10;
  v->dwBuildNumber = 2222;
  lstrcpyA(v->szCSDVersion, " A ");
  return TRUE;
}

const std::string& kYesPrefsOff = kPreferencesOff;

TEST(MainDialog, FirstRunShowsAboutBoxThenStoresAllFifteenKeys) {
  Fixture f;
  {
    RunningDialog d(f.setup(), /*first_run=*/true);
    ASSERT_NE(d.about_box(), nullptr) << "the about box opens on a first run";
    EXPECT_EQ(d.about_text().rfind("Pebblewire\r\nversion ", 0), 0u) << d.about_text();
    EXPECT_GT(d.about_text().size(), 1500u);
    EXPECT_NE(d.about_text().find("A session holds up to 10,000 datagrams."), std::string::npos);
    ASSERT_NE(d.hwnd(), nullptr);
    EXPECT_EQ(WindowText(d.hwnd()), "Pebblewire");

    EXPECT_EQ(d.rows(), std::vector<std::string>{"Microsoft Windows XP build 2600 Service Pack 3"});
    EXPECT_EQ(d.combo_items(IDC_INTERFACE),
              (std::vector<std::string>{"192.168.0.5", "10.1.2.3", "127.0.0.1"}));
    EXPECT_EQ(d.text(IDC_INTERFACE), "192.168.0.5");
    EXPECT_EQ(d.text(IDC_FROM), "*:*");
    EXPECT_EQ(d.text(IDC_TO), "*:*");
    EXPECT_TRUE(d.checked(IDC_TCP));
    EXPECT_TRUE(d.checked(IDC_UDP));
    EXPECT_FALSE(d.checked(IDC_ICMP) || d.checked(IDC_IGMP) || d.checked(IDC_RAW));
    EXPECT_FALSE(d.checked(IDC_BOTH_TRAFFIC) || d.checked(IDC_ON_TOP));
    EXPECT_TRUE(Idle(d));
    EXPECT_TRUE(IsWindowVisible(d.hwnd()) && !IsIconic(d.hwnd()))
        << "the dialog manager displays the window after the flip";
    EXPECT_TRUE(f.tray.present()) << "flip to tray is on by default";
    EXPECT_EQ(SendMessageA(d.item(IDC_LIST), LB_GETHORIZONTALEXTENT, 0, 0), 480);
    EXPECT_NE(SendMessageA(d.hwnd(), WM_GETICON, ICON_BIG, 0), 0);

    const SettingsRecord& r = d.state().settings;
    EXPECT_TRUE(r.SaveSessionPreferences && r.EnableFlipToTray && r.EnableTrayIconAnime &&
                r.DataInHexViewOnlyUdp && r.TcpDataInTextView);
    EXPECT_FALSE(r.DataInHexViewTcpAndUdp || r.TcpDataInAsciiView);
    d.close();
  }
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"SaveSessionPreferences", "Yes"}, {"EnableFlipToTray", "Yes"},
      {"EnableTrayIconAnime", "Yes"},    {"DataInHexViewOnlyUdp", "Yes"},
      {"TcpDataInTextView", "Yes"},      {"BindToInterface", "192.168.0.5"},
      {"FromIPAddress:port", "*:*"},     {"ToIPAddress:port", "*:*"},
      {"TwoWayTraffic", "No"},           {"OnTop", "No"},
      {"OnTcp", "Yes"},                  {"OnUdp", "Yes"},
      {"OnIcmp", "No"},                  {"OnIgmp", "No"},
      {"OnRaw", "No"}};
  EXPECT_EQ(f.folder.ini_lines(), expected);

  // The second start finds the file: no about box, values restored.
  RunningDialog again(f.setup());
  EXPECT_TRUE(again.checked(IDC_UDP));
  EXPECT_TRUE(again.state().settings.EnableFlipToTray);
}

TEST(MainDialog, PreferencesOffReadsAndWritesOnlyItself) {
  Fixture f;
  f.folder.write_ini(kYesPrefsOff + "EnableFlipToTray=Yes\r\nOnRaw=Yes\r\nOnTcp=No\r\n");
  {
    RunningDialog d(f.setup());
    ASSERT_NE(d.hwnd(), nullptr);
    const SettingsRecord& r = d.state().settings;
    EXPECT_FALSE(r.SaveSessionPreferences || r.EnableFlipToTray || r.EnableTrayIconAnime ||
                 r.DataInHexViewOnlyUdp || r.DataInHexViewTcpAndUdp ||
                 r.TcpDataInTextView || r.TcpDataInAsciiView);
    // The controls keep their start-up values.
    EXPECT_EQ(d.focus(), d.item(IDC_INTERFACE));
    EXPECT_TRUE(d.checked(IDC_TCP) && d.checked(IDC_UDP));
    EXPECT_FALSE(d.checked(IDC_RAW));
    EXPECT_EQ(d.text(IDC_INTERFACE), "192.168.0.5");
    d.close();
  }
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"SaveSessionPreferences", "No"}, {"EnableFlipToTray", "Yes"},
      {"OnRaw", "Yes"}, {"OnTcp", "No"}};
  EXPECT_EQ(f.folder.ini_lines(), expected);
}

TEST(MainDialog, ExactYesMissingOnUdpAndLongFromField) {
  Fixture f;
  const std::string long_from(60, '7');
  f.folder.write_ini(
      "[Config]\r\nSaveSessionPreferences=Yes\r\nEnableFlipToTray=yes\r\n"
      "TcpDataInTextView=No\r\nBindToInterface=10.9.8.7\r\nFromIPAddress:port=" +
      long_from + "\r\nTwoWayTraffic=Yes\r\nOnTop=Yes\r\nOnTcp=Yes\r\nOnIgmp=Yes\r\n");
  {
    RunningDialog d(f.setup());
    ASSERT_NE(d.hwnd(), nullptr);
    const SettingsRecord& r = d.state().settings;
    EXPECT_FALSE(r.EnableFlipToTray) << "lower-case yes reads as false";
    EXPECT_TRUE(r.EnableTrayIconAnime) << "a missing key reads its default";
    EXPECT_TRUE(r.TcpDataInAsciiView);
    EXPECT_FALSE(r.TcpDataInTextView);
    EXPECT_FALSE(d.checked(IDC_UDP)) << "a missing OnUdp unchecks udp";
    EXPECT_TRUE(d.checked(IDC_TCP) && d.checked(IDC_IGMP) && d.checked(IDC_BOTH_TRAFFIC));
    EXPECT_TRUE(d.checked(IDC_ON_TOP));
    // (Whether the window is topmost cannot be read back here: see
    // OnTopEscAndEnter.)
    EXPECT_EQ(d.text(IDC_INTERFACE), "10.9.8.7");
    EXPECT_EQ(d.text(IDC_FROM), long_from) << "a long value is shown whole";
    EXPECT_EQ(d.text(IDC_TO), "*:*");
    d.close();
  }
  auto values = f.folder.ini_values();
  EXPECT_EQ(values["FromIPAddress:port"], long_from.substr(0, 53));
  EXPECT_EQ(values["EnableFlipToTray"], "No");
  EXPECT_EQ(values["OnUdp"], "No");
  EXPECT_EQ(values["OnTop"], "Yes");
  EXPECT_EQ(values["BindToInterface"], "10.9.8.7");
  EXPECT_EQ(values.size(), 15u);
}

TEST(MainDialog, GoListsRowsAndStopReturnsToIdle) {
  Fixture f;
  f.folder.write_ini(kYesPrefsOff);
  for (int i = 0; i < 3; ++i) f.source.add(Udp(i));
  f.source.set_at_end(ScriptedSource::AtEnd::kBlock);
  RunningDialog d(f.setup());
  ASSERT_NE(d.hwnd(), nullptr);

  SendMessageA(d.item(IDC_INTERFACE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("127.0.0.1"));
  d.command(IDC_GO);
  EXPECT_FALSE(d.enabled(IDC_GO));
  EXPECT_FALSE(d.enabled(IDC_BOTH_TRAFFIC));
  EXPECT_TRUE(d.enabled(IDC_STOP));
  EXPECT_EQ(d.focus(), d.item(IDC_STOP));
  ASSERT_TRUE(WaitUntil([&] { return d.row_count() == 3 && f.source.blocked(); }));
  EXPECT_EQ(d.row(0), "\t0\tudp\t10.0.0.1\t1000\t10.0.0.2\t53\t40\t64");
  EXPECT_EQ(d.row(2), "\t2\tudp\t10.0.0.1\t1002\t10.0.0.2\t53\t40\t64");
  EXPECT_EQ(f.source.origin().address, 0x7F000001u);
  EXPECT_EQ(d.combo_items(IDC_FROM), std::vector<std::string>{"*:*"});
  EXPECT_EQ(d.combo_items(IDC_TO), std::vector<std::string>{"*:*"});

  d.command(IDC_STOP);
  EXPECT_TRUE(Idle(d));
  EXPECT_EQ(d.focus(), d.item(IDC_GO));
  EXPECT_EQ(f.source.closes(), 1);
  EXPECT_EQ(d.row_count(), 3) << "rows stay after stop";
  EXPECT_EQ(d.store().pool_fill.load(), 3u * 40u);

  // A second go! empties the list and lists the rows again.
  f.source.rewind();
  d.command(IDC_GO);
  ASSERT_TRUE(WaitUntil([&] { return d.row_count() == 3 && f.source.blocked(); }));
  d.command(IDC_STOP);
  EXPECT_TRUE(Idle(d));
}

TEST(MainDialog, FieldHistoryHoldsEachTextOnceTheMostRecentFirstAtMostTen) {
  Fixture f;
  f.folder.write_ini(kYesPrefsOff);
  f.source.set_at_end(ScriptedSource::AtEnd::kBlock);
  RunningDialog d(f.setup());
  auto start = [&](const std::string& from) {
    SetWindowTextA(d.item(IDC_FROM), from.c_str());
    d.command(IDC_GO);
    d.command(IDC_STOP);
  };
  for (int k = 1; k <= 12; ++k) start("10.0.0." + std::to_string(k) + ":*");
  start("10.0.0.5:*");   // used again: moves to the top
  start("10.0.0.5:* ");  // another text
  const std::string long_text(kFieldTextMax + 7, '7');
  start(long_text);  // taken as the filter takes it
  EXPECT_EQ(d.combo_items(IDC_FROM),
            (std::vector<std::string>{long_text.substr(0, kFieldTextMax), "10.0.0.5:* ", "10.0.0.5:*",
                                      "10.0.0.12:*", "10.0.0.11:*", "10.0.0.10:*", "10.0.0.9:*",
                                      "10.0.0.8:*", "10.0.0.7:*", "10.0.0.6:*"}));
  EXPECT_EQ(d.text(IDC_FROM), long_text) << "the field keeps what was typed";
  EXPECT_EQ(d.combo_items(IDC_TO), std::vector<std::string>{"*:*"});
}

TEST(MainDialog, PacketLimitEndsTheSessionByItself) {
  Fixture f;
  f.folder.write_ini(kYesPrefsOff);
  f.source.add(Udp(0));
  f.source.add(MakeDatagram({.protocol = 6}));  // filtered out: udp only
  f.source.set_at_end(ScriptedSource::AtEnd::kRepeat);
  RunningDialog d(f.setup());
  ASSERT_NE(d.hwnd(), nullptr);
  SendMessageA(d.item(IDC_TCP), BM_SETCHECK, BST_UNCHECKED, 0);

  d.command(IDC_GO);
  ASSERT_TRUE(WaitUntil([&] { return Idle(d); }, 120000)) << d.row_count() << " rows";
  EXPECT_EQ(d.row_count(), 10001);
  EXPECT_EQ(d.row(0).rfind("\t0\tudp\t", 0), 0u);
  EXPECT_EQ(d.row(9999).rfind("\t9999\tudp\t", 0), 0u);
  EXPECT_EQ(d.row(10000), " capture ended: 10000 datagrams stored, the most a session holds");
  EXPECT_TRUE(WaitUntil([&] { return d.focus() == d.item(IDC_GO); }));
  EXPECT_EQ(f.source.closes(), 1);
}

TEST(MainDialog, FailedOpenIsListedAndReturnsToIdle) {
  Fixture f;
  f.folder.write_ini(kYesPrefsOff);
  f.source.fail_open("socket: access denied");
  RunningDialog d(f.setup());
  ASSERT_NE(d.hwnd(), nullptr);
  d.command(IDC_GO);
  ASSERT_TRUE(WaitUntil([&] { return Idle(d) && d.row_count() == 1; }));
  EXPECT_EQ(d.row(0), " capture failed: socket: access denied");
}

TEST(MainDialog, TheEndOfAnEarlierSessionLeavesTheRunningOneAlone) {
  Fixture f;
  f.folder.write_ini(kYesPrefsOff);
  f.source.add(Udp(0));
  RunningDialog d(f.setup());
  // Session 1 ends by itself at the script's end.
  d.command(IDC_GO);
  ASSERT_TRUE(WaitUntil([&] { return Idle(d); }));
  // Session 2 waits for traffic; a late end message of session 1 (as when
  // stop and go! came before it was handled) changes nothing.
  f.source.set_at_end(ScriptedSource::AtEnd::kBlock);
  d.command(IDC_GO);
  ASSERT_TRUE(WaitUntil([&] { return f.source.blocked() && d.row_count() == 1; }));
  SendMessageA(d.hwnd(), PW_MSG_CAPTURE_ENDED, static_cast<WPARAM>(CaptureEnd::kSourceFailed), 1);
  EXPECT_TRUE(d.enabled(IDC_STOP));
  EXPECT_FALSE(d.enabled(IDC_GO));
  EXPECT_EQ(d.row_count(), 1) << "no failure row";
  d.command(IDC_STOP);
  EXPECT_TRUE(Idle(d));
}

TEST(MainDialog, RefusedStartsListTheirRowAndDisableGo) {
  struct Case {
    PrivilegeResult result;
    const char* row;
  };
  const Case cases[] = {{{true, false}, " administrators rights required!"},
                        {{false, false}, " internal error: administrators rights required!"}};
  for (const Case& c : cases) {
    Fixture f;
    f.folder.write_ini(kYesPrefsOff);
    f.privilege.result = c.result;
    RunningDialog d(f.setup());
    ASSERT_NE(d.hwnd(), nullptr);
    d.command(IDC_GO);
    EXPECT_EQ(d.rows(), std::vector<std::string>{c.row});
    EXPECT_FALSE(d.enabled(IDC_GO));
    EXPECT_FALSE(d.enabled(IDC_STOP));
    EXPECT_TRUE(d.enabled(IDC_BOTH_TRAFFIC));
    EXPECT_EQ(f.source.opens(), 0);
  }
}

TEST(MainDialog, OnTopEscAndEnter) {
  Fixture f;
  f.folder.write_ini(kYesPrefsOff);
  RunningDialog d(f.setup());
  ASSERT_NE(d.hwnd(), nullptr);
  // Wine places a window after its owned popups when it is made topmost,
  // and the tooltip window is one: the window then lands among the topmost
  // windows without being marked topmost. Without the tooltip window the
  // placement reads back as the system does it.
  SendMessageA(d.program().tooltip_window(), WM_CLOSE, 0, 0);
  ASSERT_FALSE(IsWindow(d.program().tooltip_window()));
  EXPECT_FALSE(d.topmost());
  SendMessageA(d.item(IDC_ON_TOP), BM_CLICK, 0, 0);
  EXPECT_TRUE(d.checked(IDC_ON_TOP));
  EXPECT_TRUE(d.topmost());
  SendMessageA(d.item(IDC_ON_TOP), BM_CLICK, 0, 0);
  EXPECT_FALSE(d.checked(IDC_ON_TOP));
  EXPECT_FALSE(d.topmost());

  // Esc through the dialog manager, and the command it produces.
  PostMessageA(d.item(IDC_TCP), WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageA(d.item(IDC_TCP), WM_KEYUP, VK_ESCAPE, 0);
  d.command(IDCANCEL);
  d.command(IDOK);
  SendMessageA(d.hwnd(), WM_NULL, 0, 0);  // the posted keys are handled by now
  Sleep(50);
  EXPECT_FALSE(d.ended());
  EXPECT_TRUE(IsWindowVisible(d.hwnd()));
}

TEST(MainDialog, ClosingWhileCapturingEndsTheSessionAndStores) {
  Fixture f;
  f.folder.write_ini("[Config]\r\nSaveSessionPreferences=Yes\r\nOnUdp=Yes\r\n");
  f.source.add(Udp(0));
  f.source.set_at_end(ScriptedSource::AtEnd::kBlock);
  RunningDialog d(f.setup());
  ASSERT_NE(d.hwnd(), nullptr);
  d.command(IDC_GO);
  ASSERT_TRUE(WaitUntil([&] { return d.row_count() == 1 && f.source.blocked(); }));
  d.close();
  EXPECT_TRUE(d.ended());
  EXPECT_EQ(f.source.closes(), 1);
  EXPECT_FALSE(f.source.blocked());
  EXPECT_EQ(f.folder.ini_lines().size(), 15u);
}

TEST(MainDialog, ExitCommandRunsTheShutdown) {
  Fixture f;
  f.folder.write_ini(kYesPrefsOff);
  RunningDialog d(f.setup());
  ASSERT_NE(d.hwnd(), nullptr);
  d.command(IDM_EXIT);
  d.join();
  EXPECT_TRUE(d.ended());
}

TEST(MainDialog, Windows98IsNamedAndRefused) {
  Fixture f;  // no settings file: still no about box and nothing read
  MainDialogSetup setup = f.setup();
  setup.query_version = Windows98SecondEdition;
  setup.query_adapters = NoAdapters;
  {
    RunningDialog d(setup);
    ASSERT_NE(d.hwnd(), nullptr);
    EXPECT_EQ(d.rows(), (std::vector<std::string>{"Microsoft Windows 98 SE ",
                                                  "  OS Windows 2000 or later required!"}));
    EXPECT_FALSE(d.enabled(IDC_GO));
    EXPECT_FALSE(d.enabled(IDC_STOP));
    EXPECT_TRUE(d.enabled(IDC_BOTH_TRAFFIC));
    EXPECT_EQ(d.combo_items(IDC_INTERFACE),
              (std::vector<std::string>{"127.0.0.1", "127.0.0.1"}));
    d.close();
  }
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"SaveSessionPreferences", "No"}};
  EXPECT_EQ(f.folder.ini_lines(), expected);
}

// A settings store whose folder and file are there but that takes no key.
class UnwritableStore final : public IniStore {
 public:
  bool find_application_folder() override { return true; }
  std::string application_folder() const override { return {}; }
  bool open_existing_file() override { return true; }
  std::string read(std::string_view, std::string_view fallback) override {
    return std::string(fallback);
  }
  bool make_folder(std::string&) override { return true; }
  bool open_file_for_writing() override { return true; }
  bool write(std::string_view, std::string_view) override {
    ++writes;
    return false;
  }
  void close() override {}
  int writes = 0;
};

TEST(MainDialog, StoreFailuresAreShownOnceEach) {
  struct Case {
    const char* name;
    std::function<void(Fixture&)> prepare;
    std::string message;
  };
  UnwritableStore unwritable;
  const Case cases[] = {
      // The application-data folder stand-in does not exist: "Gravlin"
      // cannot be created, and the system's text says why.
      {"no folder", [](Fixture& f) { RemoveDirectoryA(f.folder.path().c_str()); },
       FormatSystemError(ERROR_PATH_NOT_FOUND)},
      // "Gravlin" is a file: the settings file cannot be created.
      {"folder is a file",
       [](Fixture& f) {
         CloseHandle(CreateFileA(f.folder.gravlin().c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
       },
       "don't create ini file!"},
      // The file takes no key: the first failure stops the writing.
      {"keys not written", [&](Fixture&) {}, "don't write ini file!"},
  };
  for (const Case& c : cases) {
    Fixture f;
    c.prepare(f);
    MainDialogSetup setup = f.setup();
    const bool keys = c.message == "don't write ini file!";
    if (keys) setup.settings = &unwritable;
    RunningDialog d(setup, /*first_run=*/!keys);
    ASSERT_NE(d.hwnd(), nullptr) << c.name;
    PostMessageA(d.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(AnswerMessageBox(d.thread_id(), "error:"), c.message) << c.name;
    d.join();
    EXPECT_TRUE(d.ended());
    EXPECT_FALSE(f.folder.ini_lines().size() > 0) << c.name;
  }
  EXPECT_EQ(unwritable.writes, 1);
}

TEST(MainDialog, ContextMenuFromTheKeyboardKeepsTheSelectedIndex) {
  Fixture f;
  f.folder.write_ini(kYesPrefsOff);
  RunningDialog d(f.setup());
  ASSERT_NE(d.hwnd(), nullptr);
  d.state().selected_index = 7;
  PostMessageA(d.hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(d.hwnd()), MAKELPARAM(-1, -1));
  // The menu opens near the window's top-left corner; Esc closes it.
  HWND menu = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (menu = FindWindowA("#32768", nullptr)) != nullptr &&
                                     IsWindowVisible(menu); }));
  RECT frame, at;
  GetWindowRect(d.hwnd(), &frame);
  GetWindowRect(menu, &at);
  EXPECT_EQ(at.left, frame.left + 5);
  EXPECT_EQ(at.top, frame.top + 5);
  CloseMenu(menu);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); }));
  EXPECT_EQ(d.state().selected_index, 7);

  // A right click over the list below its rows takes over its selection
  // (none: -1).
  RECT list;
  GetWindowRect(d.item(IDC_LIST), &list);
  PostMessageA(d.hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(d.item(IDC_LIST)),
               MAKELPARAM(list.left + 10, list.bottom - 30));
  ASSERT_TRUE(WaitUntil([&] { return (menu = FindWindowA("#32768", nullptr)) != nullptr &&
                                     IsWindowVisible(menu); }));
  CloseMenu(menu);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); }));
  EXPECT_EQ(d.state().selected_index, -1) << "no row was selected";
}

TEST(SecondStart, HandsOverToTheRunningWindowAndExitsWithZero) {
  Fixture f;
  f.folder.write_ini(kYesPrefsOff);
  RunningDialog d(f.setup());
  ASSERT_NE(d.hwnd(), nullptr);

  // Another window in front first.
  HWND other = CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                               200, 100, nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(other);
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  EXPECT_EQ(GetForegroundWindow(), other);

  EXPECT_EQ(RunProgram(PW_PROGRAM, "12abc"), 0);
  EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == d.hwnd(); }, 5000));
  EXPECT_FALSE(d.ended());
  DestroyWindow(other);
}

}  // namespace
}  // namespace pw::test

namespace pw::test {
namespace {

TEST(MainDialog, AboutCommandOpensTheAboutBox) {
  Fixture f;
  f.folder.write_ini(kYesPrefsOff);
  RunningDialog d(f.setup());
  ASSERT_NE(d.hwnd(), nullptr);
  PostMessageA(d.hwnd(), WM_COMMAND, IDM_ABOUT, 0);
  HWND about = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    return (about = ThreadWindow(d.thread_id(), "about 'Pebblewire'")) != nullptr &&
           IsWindowVisible(about);
  }));
  EXPECT_EQ(GetWindow(about, GW_OWNER), d.hwnd());
  HWND text = GetDlgItem(about, IDC_ABOUT_TEXT);
  EXPECT_EQ(WindowText(text).substr(0, 12), "Pebblewire\r\n");
  // Enter does not close it, the close command does.
  SendMessageA(about, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(IsWindow(about));
  ASSERT_TRUE(WaitUntil([&] {
    DWORD start = 1, end = 1;
    SendMessageA(text, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return start == 0 && end == 0;
  })) << "the text opens unselected";
  PostMessageA(about, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
  EXPECT_TRUE(IsWindowEnabled(d.hwnd()));
}

}  // namespace
}  // namespace pw::test
