// The notification icon of the real main dialog: the records it hands to
// the notification area, flip to tray and back, the left-click toggle, the
// menu at the cursor, and the animation's frames through a stepped pause.
#include <windows.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "windows/gui_fixture.h"

namespace pw::test {
namespace {

// An animation pause that lasts until the test lets it end.
class SteppedPause final : public AnimationPause {
 public:
  bool pause(std::chrono::milliseconds duration) override {
    std::unique_lock<std::mutex> lock(mutex_);
    ++waiting_;
    durations_.push_back(duration);
    changed_.notify_all();
    changed_.wait(lock, [this] { return steps_ > 0 || interrupted_; });
    --waiting_;
    if (interrupted_) return false;
    --steps_;
    return true;
  }
  void interrupt() override {
    std::lock_guard<std::mutex> lock(mutex_);
    interrupted_ = true;
    changed_.notify_all();
  }
  // Waits until a pause is waiting, then lets one end.
  bool step() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::seconds(10), [this] { return waiting_ > steps_; })) {
      return false;
    }
    ++steps_;
    changed_.notify_all();
    return true;
  }
  int waiting() {
    std::lock_guard<std::mutex> lock(mutex_);
    return waiting_;
  }
  std::vector<std::chrono::milliseconds> durations() {
    std::lock_guard<std::mutex> lock(mutex_);
    return durations_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int waiting_ = 0;
  int steps_ = 0;
  bool interrupted_ = false;
  std::vector<std::chrono::milliseconds> durations_;
};

void TrayClick(const RunningDialog& d, LPARAM mouse, WPARAM icon = PW_TRAY_ICON_ID) {
  SendMessageA(d.hwnd(), PW_MSG_TRAY_ICON, icon, mouse);
}

bool Shown(const RunningDialog& d) {
  return IsWindowVisible(d.hwnd()) && !IsIconic(d.hwnd());
}

// The animation's updates, as "<icon>" or "<icon>+tip", and "end" for the
// last update; records of other kinds are left out.
std::vector<std::string> Frames(const std::vector<TrayCall>& calls, size_t from = 0) {
  std::vector<std::string> frames;
  for (size_t i = from; i < calls.size(); ++i) {
    const TrayCall& c = calls[i];
    if (c.message != NIM_MODIFY) continue;
    if (c.flags == (NIF_ICON | NIF_TIP | NIF_INFO)) {
      frames.push_back(c.icon == IDI_FRAME1 && c.tip == "Pebblewatch" && c.timeout == 1500 &&
                               c.info.empty() && c.info_title.empty()
                           ? "end"
                           : "bad end");
    } else if (c.flags == (NIF_ICON | NIF_TIP)) {
      frames.push_back(std::to_string(c.icon) + (c.tip == "Pebblewatch" ? "+tip" : "+bad tip"));
    } else {
      frames.push_back(std::to_string(c.icon) + (c.flags == NIF_ICON ? "" : "+bad flags"));
    }
  }
  return frames;
}

// The initialisation flips the window to the notification area; the dialog
// manager then displays it, as the platform does, and nothing sends it back.
TEST(TrayIcon, StartsShownWithItsIconWithFlipToTrayOn) {
  Fixture f;
  RunningDialog d(f.setup(), /*first_run=*/true);  // flip to tray is on by default
  ASSERT_NE(d.hwnd(), nullptr);
  // The minimise inside the flip passes through WM_SIZE, which flips once
  // more; the shell refuses that second add.
  const std::vector<TrayCall> calls = f.tray.calls();
  ASSERT_FALSE(calls.empty());
  for (const TrayCall& c : calls) EXPECT_EQ(c.message, static_cast<DWORD>(NIM_ADD));
  EXPECT_TRUE(f.tray.present());
  const TrayCall& add = calls[0];
  EXPECT_EQ(add.message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(add.size, static_cast<DWORD>(NOTIFYICONDATAA_V2_SIZE));
  EXPECT_EQ(add.window, d.hwnd());
  EXPECT_EQ(add.id, 1234u);
  EXPECT_EQ(add.flags, 7u);
  EXPECT_EQ(add.callback, 34002u);
  EXPECT_EQ(add.icon, IDI_FRAME1);
  EXPECT_EQ(add.tip, "Pebblewire");
  EXPECT_TRUE(Shown(d)) << "the start ends with the window displayed";
  EXPECT_FALSE(d.program().tray().hidden());
  ASSERT_TRUE(HideInTray(d)) << "minimising flips to the tray as before";
  EXPECT_TRUE(d.program().tray().hidden());

  d.close();
  const TrayCall last = f.tray.calls().back();
  EXPECT_EQ(last.message, static_cast<DWORD>(NIM_DELETE)) << "the icon is removed at shutdown";
  EXPECT_EQ(last.flags, 0u);
  EXPECT_EQ(last.icon, IDI_APP);
  EXPECT_EQ(last.id, 1234u);
}

TEST(TrayIcon, LeftClicksToggleMinimisingHidesAndOtherIconsAreIgnored) {
  Fixture f;
  f.folder.write_ini(kAllOptionsOn);
  RunningDialog d(f.setup());
  ASSERT_TRUE(Shown(d));

  TrayClick(d, WM_LBUTTONDOWN);
  EXPECT_FALSE(IsWindowVisible(d.hwnd()));
  TrayClick(d, WM_LBUTTONDOWN);
  EXPECT_TRUE(Shown(d));
  EXPECT_FALSE(d.program().tray().hidden());
  TrayClick(d, WM_LBUTTONDOWN);
  EXPECT_FALSE(IsWindowVisible(d.hwnd()));
  EXPECT_TRUE(d.program().tray().hidden());
  TrayClick(d, WM_LBUTTONDOWN);
  EXPECT_TRUE(Shown(d));

  // Another icon id, and mouse messages other than the two, do nothing.
  const size_t calls = f.tray.count();
  for (const WPARAM icon : {WPARAM{1235}, WPARAM{0}}) {
    TrayClick(d, WM_LBUTTONDOWN, icon);
    TrayClick(d, WM_RBUTTONUP, icon);
  }
  TrayClick(d, WM_LBUTTONDBLCLK);
  TrayClick(d, WM_MOUSEMOVE);
  EXPECT_TRUE(Shown(d));
  EXPECT_EQ(FindWindowA("#32768", nullptr) != nullptr &&
                IsWindowVisible(FindWindowA("#32768", nullptr)),
            false);
  EXPECT_EQ(f.tray.count(), calls);

  // Minimising hides the window behind the icon.
  SendMessageA(d.hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(d.hwnd()); }, 2000));
  EXPECT_TRUE(d.program().tray().hidden());
  TrayClick(d, WM_LBUTTONDOWN);
  EXPECT_TRUE(Shown(d));
}

TEST(TrayIcon, FlipToTrayOffAndOn) {
  Fixture f;
  f.folder.write_ini(kAllOptionsOn);
  RunningDialog d(f.setup());
  ASSERT_TRUE(HideInTray(d));
  f.tray.clear();

  // Off while hidden: shown normally in front, icon removed, anime off.
  d.command(IDM_FLIP_TO_TRAY);
  EXPECT_TRUE(Shown(d));
  EXPECT_FALSE(d.program().tray().hidden());
  EXPECT_FALSE(d.state().settings.EnableFlipToTray);
  EXPECT_FALSE(d.state().settings.EnableTrayIconAnime);
  std::vector<TrayCall> calls = f.tray.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_DELETE));

  // Off: minimising only minimises.
  SendMessageA(d.hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(d.hwnd()));
  EXPECT_TRUE(IsWindowVisible(d.hwnd()));
  EXPECT_EQ(f.tray.count(), 1u);
  SendMessageA(d.hwnd(), WM_SYSCOMMAND, SC_RESTORE, 0);

  // On again: the icon is added, the window ends visible and normal, and
  // the animation option stays off.
  f.tray.clear();
  d.command(IDM_FLIP_TO_TRAY);
  calls = f.tray.calls();
  ASSERT_GE(calls.size(), 1u);
  EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_TRUE(Shown(d));
  EXPECT_FALSE(d.program().tray().hidden());
  EXPECT_TRUE(d.state().settings.EnableFlipToTray);
  EXPECT_FALSE(d.state().settings.EnableTrayIconAnime);
}

TEST(TrayIcon, RightClickOpensTheMenuAtTheCursor) {
  Fixture f;
  f.folder.write_ini(kAllOptionsOn);
  RunningDialog d(f.setup());
  ASSERT_TRUE(HideInTray(d));
  SetCursorPos(300, 200);
  POINT cursor{};
  WaitUntil([&] { return GetCursorPos(&cursor) && cursor.x == 300 && cursor.y == 200; }, 2000);
  PostMessageA(d.hwnd(), PW_MSG_TRAY_ICON, PW_TRAY_ICON_ID, WM_RBUTTONUP);
  HWND menu = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    return (menu = FindWindowA("#32768", nullptr)) != nullptr && IsWindowVisible(menu);
  }));
  RECT at;
  GetWindowRect(menu, &at);
  // At the cursor as the program read it: where it was set, or where the X
  // server put the pointer back meanwhile (seen once under load).
  POINT now{};
  GetCursorPos(&now);
  EXPECT_TRUE((at.left == cursor.x && at.top == cursor.y) || (at.left == now.x && at.top == now.y))
      << "menu at " << at.left << "," << at.top << ", cursor set to " << cursor.x << ","
      << cursor.y << ", now at " << now.x << "," << now.y;
  // "e&xit" chosen there runs the shutdown sequence.
  const UINT_PTR exit_item = IDM_EXIT;
  PostMessageA(d.hwnd(), WM_COMMAND, exit_item, 0);
  PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  d.join();
  EXPECT_TRUE(d.ended());
  EXPECT_EQ(f.tray.calls().back().message, static_cast<DWORD>(NIM_DELETE));
}

// Every option on, a source that waits for traffic, and the stepped pause.
struct AnimationFixture : Fixture {
  SteppedPause pause;
  explicit AnimationFixture(const std::string& settings = kAllOptionsOn) {
    folder.write_ini(settings);
    source.set_at_end(ScriptedSource::AtEnd::kBlock);
  }
  MainDialogSetup animated_setup() {
    MainDialogSetup s = setup();
    s.animation_pause = &pause;
    return s;
  }
};

TEST(TrayAnimation, CyclesTheFramesAndRestsOn113WithinOneCycleAfterStop) {
  AnimationFixture f;
  RunningDialog d(f.animated_setup());
  f.tray.clear();
  d.command(IDC_GO);
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(f.pause.step());
  ASSERT_TRUE(WaitUntil([&] { return Frames(f.tray.calls()).size() == 6; }));
  d.command(IDC_STOP);
  const size_t at_stop = f.tray.count();
  // The current cycle ends, then the icon rests.
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(f.pause.step());
  ASSERT_TRUE(WaitUntil([&] { return Frames(f.tray.calls()).size() == 9; }));
  EXPECT_EQ(Frames(f.tray.calls()),
            (std::vector<std::string>{"113+tip", "114", "115", "116", "113+tip", "114", "115",
                                      "116", "end"}));
  EXPECT_LE(f.tray.count() - at_stop, 5u) << "within one cycle after stop";
  for (const auto duration : f.pause.durations()) EXPECT_EQ(duration.count(), 350);
  EXPECT_EQ(f.pause.waiting(), 0) << "the thread has ended";
}

TEST(TrayAnimation, OneRestingUpdateWhenNothingAnimates) {
  struct Case {
    const char* name;
    bool anime;           // the option at go!
    int command;          // what starts the thread
  };
  const Case cases[] = {{"option off at go!", false, IDC_GO},
                        {"option switched on while idle", false, IDM_TRAY_ICON_ANIME}};
  for (const Case& c : cases) {
    AnimationFixture f(c.anime ? kAllOptionsOn
                               : "[Config]\r\nEnableFlipToTray=Yes\r\nEnableTrayIconAnime=No\r\n");
    RunningDialog d(f.animated_setup());
    ASSERT_EQ(d.state().settings.EnableTrayIconAnime, c.anime) << c.name;
    f.tray.clear();
    d.command(c.command);
    EXPECT_TRUE(WaitUntil([&] { return f.tray.count() == 1; })) << c.name;
    EXPECT_EQ(Frames(f.tray.calls()), std::vector<std::string>{"end"}) << c.name;
    EXPECT_EQ(f.pause.waiting(), 0) << c.name;
    if (c.command == IDC_GO) d.command(IDC_STOP);
  }
}

TEST(TrayAnimation, SwitchingTheOptionOffEndsTheAnimationAfterItsCycle) {
  AnimationFixture f;
  RunningDialog d(f.animated_setup());
  f.tray.clear();
  d.command(IDC_GO);
  ASSERT_TRUE(f.pause.step());
  d.command(IDM_TRAY_ICON_ANIME);
  EXPECT_FALSE(d.state().settings.EnableTrayIconAnime);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(f.pause.step());
  ASSERT_TRUE(WaitUntil([&] { return Frames(f.tray.calls()).size() == 5; }));
  EXPECT_EQ(Frames(f.tray.calls()),
            (std::vector<std::string>{"113+tip", "114", "115", "116", "end"}));
  d.command(IDC_STOP);
}

TEST(TrayAnimation, ClosingDoesNotWaitForASleepingThread) {
  AnimationFixture f;
  RunningDialog d(f.animated_setup());
  d.command(IDC_GO);
  ASSERT_TRUE(WaitUntil([&] { return f.pause.waiting() == 1; }));
  // The pause never ends by itself: only the interruption at shutdown
  // lets the close return.
  d.close();
  EXPECT_TRUE(d.ended());
  EXPECT_EQ(f.pause.waiting(), 0);
  EXPECT_EQ(f.tray.calls().back().message, static_cast<DWORD>(NIM_DELETE))
      << "no icon update after the removal";
}

}  // namespace
}  // namespace pw::test
