#include "app/main_dialog_win32.h"

#include <commctrl.h>

#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/ini_store_win32.h"
#include "app/option_commands.h"
#include "app/system_description.h"
#include "capture/capture_session.h"
#include "res/resource.h"
#include "shell/solid_paint_win32.h"
#include "shell/about_box_win32.h"
#include "shell/system_error_win32.h"

namespace pw {
namespace {

constexpr COLORREF kBackgroundColour = RGB(224, 160, 64);
constexpr int kListExtent = 480;  // pixels the list scrolls sideways
// Tab stops of the list's columns, in dialog template units.
constexpr INT kListTabStops[] = {4, 24, 16, 60, 24, 60, 24, 4};
// Typed input of the from and to fields.
constexpr WPARAM kFieldInputLimit = 21;
constexpr char kOsRefusedRow[] = "  OS Windows 2000 or later required!";
constexpr char kCaptureFailedRow[] = " capture failed: ";
// The rows of a start that the Administrators check refused.
constexpr char kRowNotAllowed[] = " administrators rights required!";
constexpr char kRowCheckFailed[] = " internal error: administrators rights required!";
// While a capture runs the list is repainted at most this often: painting
// it after every added row would cost more than capturing.
constexpr UINT_PTR kListPaintTimer = 1;
constexpr UINT kListPaintInterval = 100;  // ms

// The program's one capture store; 5 MB, static for the life of the process.
CaptureStore capture_store;
// The settings record: all false until the settings are loaded.
SettingsRecord settings;
// The row chosen for the details command: the list's selection when the
// popup menu was last opened over the list; -1 when none was selected.
int32_t selected_index = 0;

// CaptureView over the dialog's controls.
class DialogCaptureView final : public CaptureView {
 public:
  void attach(HWND dialog) {
    dialog_ = dialog;
    list_ = GetDlgItem(dialog, IDC_LIST);
  }

  // Capture thread: the list belongs to the UI thread, so the row is sent
  // there and listed before this returns. The list's painting is held back
  // until the next tick of the paint timer.
  void add_row(std::string_view row) override {
    if (!paint_held_.exchange(true)) SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    AddRow(row);
  }

  // UI thread: paints the rows listed since the last tick.
  void paint_rows() {
    if (!paint_held_.load()) return;
    SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
    paint_held_ = false;
  }

  void clear_rows() override { SendMessageA(list_, LB_RESETCONTENT, 0, 0); }

  void fields_read(std::string_view from_text, std::string_view to_text) override {
    AddComboItem(IDC_FROM, from_text);
    AddComboItem(IDC_TO, to_text);
  }

  void start_refused(StartRefusal why) override {
    EnableWindow(GetDlgItem(dialog_, IDC_GO), FALSE);
    AddRow(why == StartRefusal::kNotAllowed ? kRowNotAllowed : kRowCheckFailed);
  }

  void start_failed(std::string_view detail) override {
    AddRow(std::string(kCaptureFailedRow) + std::string(detail));
  }

  void capture_starting() override {
    SendMessageA(list_, LB_SETTABSTOPS, std::size(kListTabStops),
                 reinterpret_cast<LPARAM>(kListTabStops));
    // The notification icon's animation thread starts here once the icon
    // exists.
  }

  void capture_started() override {
    EnableWindow(GetDlgItem(dialog_, IDC_GO), FALSE);
    EnableWindow(GetDlgItem(dialog_, IDC_BOTH_TRAFFIC), FALSE);
    EnableWindow(GetDlgItem(dialog_, IDC_STOP), TRUE);
    SetFocus(GetDlgItem(dialog_, IDC_STOP));
    SetTimer(dialog_, kListPaintTimer, kListPaintInterval, nullptr);
  }

  // Capture thread: focus and enabling belong on the UI thread, which gets
  // them through a posted message (the UI thread may be inside stop()).
  void capture_ended(CaptureEnd why, std::string_view detail) override {
    {
      std::lock_guard<std::mutex> lock(end_mutex_);
      end_detail_.assign(detail);
    }
    PostMessageA(dialog_, PW_MSG_CAPTURE_ENDED, static_cast<WPARAM>(why), 0);
  }

  void capture_stopped() override { ReturnToIdle(); }

  // UI thread: handle the rows that the capture thread sends meanwhile,
  // or the two threads would wait for each other.
  void wait_for_capture_thread(const std::atomic<bool>& finished) override {
    MSG message;
    while (!finished.load(std::memory_order_acquire)) {
      PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_SENDMESSAGE);
    }
  }

  // UI thread, PW_MSG_CAPTURE_ENDED.
  void on_capture_ended(CaptureEnd why, bool still_idle) {
    std::string detail;
    {
      std::lock_guard<std::mutex> lock(end_mutex_);
      detail.swap(end_detail_);
    }
    // A new session may have started since (after "stop" and "go!"): its
    // controls are left alone.
    if (!still_idle) return;
    ReturnToIdle();
    if (why == CaptureEnd::kOpenFailed || why == CaptureEnd::kSourceFailed) {
      AddRow(std::string(kCaptureFailedRow) + detail);
    }
  }

  void ReturnToIdle() {
    KillTimer(dialog_, kListPaintTimer);
    paint_rows();
    EnableWindow(GetDlgItem(dialog_, IDC_GO), TRUE);
    EnableWindow(GetDlgItem(dialog_, IDC_BOTH_TRAFFIC), TRUE);
    EnableWindow(GetDlgItem(dialog_, IDC_STOP), FALSE);
    SetFocus(GetDlgItem(dialog_, IDC_GO));
  }

 private:
  void AddRow(std::string_view row) {
    char text[256];
    const size_t n = row.size() < sizeof text - 1 ? row.size() : sizeof text - 1;
    std::memcpy(text, row.data(), n);
    text[n] = '\0';
    SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }

  void AddComboItem(int id, std::string_view text) {
    const std::string item(text);
    SendDlgItemMessageA(dialog_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  }

  HWND dialog_ = nullptr;
  HWND list_ = nullptr;
  std::mutex end_mutex_;
  std::string end_detail_;
  std::atomic<bool> paint_held_{false};
};

// Everything the main dialog keeps while it runs (main thread only).
struct MainWindow {
  HINSTANCE instance = nullptr;
  MainDialogSetup setup;
  HWND dialog = nullptr;
  HWND list = nullptr;
  SystemDescription system{};
  bool pre2000 = false;
  HICON main_icon = nullptr;
  HCURSOR wait_cursor = nullptr;
  char tray_tip[128] = {};
  bool hidden_in_tray = false;
  bool shutting_down = false;
  InterfaceSlots slots;
  std::optional<Win32IniStore> own_settings_store;
  DialogCaptureView view;
  std::unique_ptr<CaptureSession> session;

  IniStore& settings_store() {
    if (setup.settings != nullptr) return *setup.settings;
    if (!own_settings_store) own_settings_store.emplace();
    return *own_settings_store;
  }
};

MainWindow* window = nullptr;

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void SetChecked(HWND dialog, int id, bool on) {
  CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

std::string ControlText(HWND dialog, int id) {
  char text[kSettingsValueMax + 1] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

void PlaceOnTop(HWND dialog, bool on_top) {
  SetWindowPos(dialog, on_top ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE);
}

// The system description and the 95/98/Me test. False when the system
// answers neither the extended nor the basic version query.
bool DescribeRunningSystem(MainWindow& w) {
  auto query = w.setup.query_version != nullptr ? w.setup.query_version : GetVersionExA;
  OSVERSIONINFOEXA version{};
  version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  if (!query(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
    version = {};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!query(reinterpret_cast<OSVERSIONINFOA*>(&version))) return false;
  }
  SystemVersion v;
  v.platform_id = version.dwPlatformId;
  v.major = version.dwMajorVersion;
  v.minor = version.dwMinorVersion;
  v.build = version.dwBuildNumber;
  v.service_pack = std::string_view(version.szCSDVersion,
                                    strnlen(version.szCSDVersion, sizeof version.szCSDVersion));
  w.system = DescribeSystem(v);
  w.pre2000 = w.system.pre2000;
  return true;
}

void FillInterfaceCombo(MainWindow& w) {
  auto query = w.setup.query_adapters != nullptr ? w.setup.query_adapters : QuerySystemAdapters;
  w.slots = FillInterfaceSlots(query());
  HWND combo = GetDlgItem(w.dialog, IDC_INTERFACE);
  for (const std::string& entry : InterfaceComboEntries(w.slots)) {
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  }
  SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

void LoadSettingsIntoDialog(MainWindow& w) {
  SettingsControls controls;
  switch (LoadSettings(w.settings_store(), settings, controls)) {
    case LoadOutcome::kFirstRun:
      ShowAboutBox(w.instance, w.dialog);
      return;
    case LoadOutcome::kLoaded:
      break;
    case LoadOutcome::kNoFolder:
    case LoadOutcome::kPreferencesOff:
      return;
  }
  SetDlgItemTextA(w.dialog, IDC_INTERFACE, controls.bind_to_interface.c_str());
  SetDlgItemTextA(w.dialog, IDC_FROM, controls.from_field.c_str());
  SetDlgItemTextA(w.dialog, IDC_TO, controls.to_field.c_str());
  SetChecked(w.dialog, IDC_BOTH_TRAFFIC, controls.two_way_traffic);
  SetChecked(w.dialog, IDC_ON_TOP, controls.on_top);
  if (controls.on_top) PlaceOnTop(w.dialog, true);
  SetChecked(w.dialog, IDC_TCP, controls.tcp);
  SetChecked(w.dialog, IDC_UDP, controls.udp);
  SetChecked(w.dialog, IDC_ICMP, controls.icmp);
  SetChecked(w.dialog, IDC_IGMP, controls.igmp);
  SetChecked(w.dialog, IDC_RAW, controls.raw);
}

void StoreSettingsFromDialog(MainWindow& w) {
  SettingsControls controls;
  controls.bind_to_interface = ControlText(w.dialog, IDC_INTERFACE);
  controls.from_field = ControlText(w.dialog, IDC_FROM);
  controls.to_field = ControlText(w.dialog, IDC_TO);
  controls.two_way_traffic = Checked(w.dialog, IDC_BOTH_TRAFFIC);
  controls.on_top = Checked(w.dialog, IDC_ON_TOP);
  controls.tcp = Checked(w.dialog, IDC_TCP);
  controls.udp = Checked(w.dialog, IDC_UDP);
  controls.icmp = Checked(w.dialog, IDC_ICMP);
  controls.igmp = Checked(w.dialog, IDC_IGMP);
  controls.raw = Checked(w.dialog, IDC_RAW);
  uint32_t error = 0;
  switch (StoreSettings(w.settings_store(), settings, controls, error)) {
    case StoreOutcome::kFolderFailed:
      FormatSystemError(error);
      MessageBoxA(w.dialog, SystemErrorText(), "error:", MB_ICONHAND | MB_OK);
      ShowWindow(w.dialog, SW_SHOW);
      break;
    case StoreOutcome::kFileFailed:
      MessageBoxA(w.dialog, "don't create ini file!", "error:", MB_ICONHAND | MB_OK);
      ShowWindow(w.dialog, SW_SHOW);
      break;
    case StoreOutcome::kNoFolder:
    case StoreOutcome::kStored:
      break;
  }
}

void Initialise(MainWindow& w, HWND dialog) {
  w.dialog = dialog;
  w.list = GetDlgItem(dialog, IDC_LIST);
  w.view.attach(dialog);
  // The look brushes of the labels and the about text come here first.

  w.pre2000 = false;
  if (!DescribeRunningSystem(w)) return;

  w.main_icon = LoadIconA(w.instance, MAKEINTRESOURCEA(IDI_APP));
  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(w.main_icon));
  SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(w.main_icon));
  w.wait_cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32514));  // IDC_WAIT
  lstrcpynA(w.tray_tip, "Pebblewatch", sizeof w.tray_tip);

  PrivilegeCheck& privilege =
      w.setup.privilege != nullptr ? *w.setup.privilege : SystemPrivilegeCheck();
  w.session = std::make_unique<CaptureSession>(capture_store, w.view, *w.setup.source, privilege);

  SetChecked(dialog, IDC_TCP, true);
  SetChecked(dialog, IDC_UDP, true);
  SendMessageA(w.list, LB_SETHORIZONTALEXTENT, kListExtent, 0);
  SendMessageA(w.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.system.text));

  FillInterfaceCombo(w);
  SetDlgItemTextA(dialog, IDC_FROM, "*:*");
  SetDlgItemTextA(dialog, IDC_TO, "*:*");
  // The tooltips of the three fields and "both traffic" are added here.
  SendDlgItemMessageA(dialog, IDC_FROM, CB_LIMITTEXT, kFieldInputLimit, 0);
  SendDlgItemMessageA(dialog, IDC_TO, CB_LIMITTEXT, kFieldInputLimit, 0);

  SetFocus(GetDlgItem(dialog, IDC_INTERFACE));
  EnableWindow(GetDlgItem(dialog, IDC_STOP), FALSE);

  if (w.pre2000) {
    EnableWindow(GetDlgItem(dialog, IDC_GO), FALSE);
    SendMessageA(w.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kOsRefusedRow));
    return;
  }

  LoadSettingsIntoDialog(w);
  // The session's stop flag is 1 from its construction: no capture runs.
  // With EnableFlipToTray the window flips to the notification area here.
  SetForegroundWindow(dialog);
}

void StartCapture(MainWindow& w) {
  if (!w.session) return;
  char interface_text[kInterfaceTextMax + 1] = {};
  GetDlgItemTextA(w.dialog, IDC_INTERFACE, interface_text, sizeof interface_text);
  const std::string from = ControlText(w.dialog, IDC_FROM);
  const std::string to = ControlText(w.dialog, IDC_TO);
  StartRequest request;
  request.interface_text = interface_text;
  request.from_field = from;
  request.to_field = to;
  request.both_traffic = Checked(w.dialog, IDC_BOTH_TRAFFIC);
  request.protocols.tcp = Checked(w.dialog, IDC_TCP);
  request.protocols.udp = Checked(w.dialog, IDC_UDP);
  request.protocols.icmp = Checked(w.dialog, IDC_ICMP);
  request.protocols.igmp = Checked(w.dialog, IDC_IGMP);
  request.protocols.raw = Checked(w.dialog, IDC_RAW);
  for (size_t i = 0; i < w.slots.size(); ++i) request.interface_addresses[i] = w.slots[i];
  w.session->start(request);
}

void Shutdown(MainWindow& w) {
  if (w.shutting_down) return;
  w.shutting_down = true;
  // A running capture ends before the settings are stored.
  if (w.session) w.session->end_at_exit();
  StoreSettingsFromDialog(w);
  // The look brushes are deleted and the notification icon removed here.
  w.session.reset();
  if (w.main_icon != nullptr) DestroyIcon(w.main_icon);
  w.main_icon = nullptr;
  EndDialog(w.dialog, 0);
}

// Check marks of the options, recomputed at every opening of the menu.
void MarkOptions(HMENU menu) {
  auto check = [menu](UINT id, bool on) {
    CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  };
  check(IDM_SAVE_PREFERENCES, settings.SaveSessionPreferences);
  check(IDM_FLIP_TO_TRAY, settings.EnableFlipToTray);
  if (!settings.EnableFlipToTray) {
    EnableMenuItem(menu, IDM_TRAY_ICON_ANIME, MF_BYCOMMAND | MF_GRAYED);
  } else {
    check(IDM_TRAY_ICON_ANIME, settings.EnableTrayIconAnime);
  }
  check(IDM_HEX_ONLY_UDP, settings.DataInHexViewOnlyUdp);
  check(IDM_HEX_TCP_AND_UDP, settings.DataInHexViewTcpAndUdp);
  check(IDM_TCP_TEXT_VIEW, settings.TcpDataInTextView);
  check(IDM_TCP_ASCII_VIEW, settings.TcpDataInAsciiView);
}

// A right click over the list takes over its selection as the datagram for
// the details command; the menu opens at the click, or near the window's
// corner when it was asked for from the keyboard.
void ShowPopupMenu(MainWindow& w, LPARAM where) {
  POINT point{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
  if (WindowFromPoint(point) == w.list) {
    selected_index = static_cast<int32_t>(SendMessageA(w.list, LB_GETCURSEL, 0, 0));
  }
  if (point.x == -1 && point.y == -1) {
    RECT frame;
    GetWindowRect(w.dialog, &frame);
    point = {frame.left + 5, frame.top + 5};
  }
  HMENU menu = LoadMenuA(w.instance, MAKEINTRESOURCEA(IDR_POPUP_MENU));
  if (menu == nullptr) return;
  HMENU popup = GetSubMenu(menu, 0);
  if (popup != nullptr) {
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, point.x, point.y,
                   0, w.dialog, nullptr);
  }
  DestroyMenu(menu);
}

void OnCommand(MainWindow& w, WORD id) {
  switch (id) {
    case IDC_GO:
      StartCapture(w);
      break;
    case IDC_STOP:
      if (w.session) w.session->stop();
      break;
    case IDC_ON_TOP:
      PlaceOnTop(w.dialog, Checked(w.dialog, IDC_ON_TOP));
      break;
    case IDM_EXIT:
      Shutdown(w);
      break;
    case IDM_ABOUT:
      ShowAboutBox(w.instance, w.dialog);
      break;
    case IDM_HEX_ONLY_UDP:
      ApplyFlagOption(settings, FlagOption::kHexOnlyUdp);
      break;
    case IDM_HEX_TCP_AND_UDP:
      ApplyFlagOption(settings, FlagOption::kHexTcpAndUdp);
      break;
    case IDM_TCP_TEXT_VIEW:
      ApplyFlagOption(settings, FlagOption::kTcpTextView);
      break;
    case IDM_TCP_ASCII_VIEW:
      ApplyFlagOption(settings, FlagOption::kTcpAsciiView);
      break;
    case IDM_SAVE_PREFERENCES:
      ApplyFlagOption(settings, FlagOption::kSaveSessionPreferences);
      break;
    case IDM_DETAILS:          // the details window
    case IDM_SAVE_SNIFF_LOG:   // save commands
    case IDM_SAVE_PACKETS:
    case IDM_FLIP_TO_TRAY:     // the notification icon's options
    case IDM_TRAY_ICON_ANIME:
      break;
    default:
      // Among others IDCANCEL, which the dialog manager sends for Esc: Esc
      // does not close the window.
      break;
  }
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  MainWindow& w = *window;
  switch (message) {
    case WM_INITDIALOG:
      Initialise(w, dialog);
      return FALSE;
    case WM_PAINT:
      PaintSolidBackground(dialog, kBackgroundColour);
      return FALSE;
    case WM_SIZE:
      // Minimising with EnableFlipToTray hides the window behind its
      // notification icon once that icon exists; until then it stays an
      // ordinary minimise.
      if (wparam != SIZE_MINIMIZED) w.hidden_in_tray = false;
      return FALSE;
    case WM_CLOSE:
      Shutdown(w);
      return FALSE;
    case WM_TIMER:
      if (wparam == kListPaintTimer) w.view.paint_rows();
      return FALSE;
    case WM_CONTEXTMENU:
      ShowPopupMenu(w, lparam);
      return FALSE;
    case WM_COMMAND:
      OnCommand(w, LOWORD(wparam));
      return FALSE;
    case WM_INITMENUPOPUP:
      if (lparam == 0) MarkOptions(reinterpret_cast<HMENU>(wparam));
      return FALSE;
    case WM_CTLCOLORSTATIC:
      // Labels keep the system colours until the look brushes exist.
      return FALSE;
    case PW_MSG_SECOND_INSTANCE:
      SetForegroundWindow(dialog);
      return FALSE;
    case PW_MSG_TRAY_ICON:
      // Clicks on the notification icon, once it exists.
      return FALSE;
    case PW_MSG_CAPTURE_ENDED:
      w.view.on_capture_ended(static_cast<CaptureEnd>(wparam),
                              w.session && w.session->stop_flag().load() == 1);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR RunMainDialog(HINSTANCE instance, const MainDialogSetup& setup) {
  MainWindow main_window;
  main_window.instance = instance;
  main_window.setup = setup;
  settings = SettingsRecord{};
  window = &main_window;
  // The manifest's common controls version 6 are used from the first
  // control on.
  InitCommonControls();
  const INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                         MainDialogProc, 0);
  // A dialog that failed to start still ends any session it began.
  main_window.session.reset();
  window = nullptr;
  return result;
}

CaptureStore& MainCaptureStore() { return capture_store; }

const SettingsRecord& MainSettingsRecord() { return settings; }

int32_t& MainSelectedIndex() { return selected_index; }

}  // namespace pw
