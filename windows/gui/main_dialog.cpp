#include "gui/main_dialog.h"

#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <optional>

#include "gui/dialog_controls.h"
#include "gui/file_dialog.h"
#include "gui/main_dialog_tooltips.h"
#include "gui/popup_menu.h"
#include "gui/start_file.h"
#include "res/resource.h"
#include "shell/about_box.h"
#include "shell/dpi.h"
#include "shell/list_keys.h"
#include "shell/solid_paint.h"
#include "shell/tooltips.h"
#include "ui/details_selection.h"
#include "ui/option_commands.h"

namespace pw {
namespace {

constexpr COLORREF kBackgroundColour = RGB(224, 160, 64);
constexpr int kListExtent = 480;  // pixels the list scrolls sideways, at 96 dpi
constexpr char kOsRefusedRow[] = "  OS Windows 2000 or later required!";
constexpr char kLookFailedText[] = "Gdi resources failed to initialize";
constexpr char kSettingsNotCreatedText[] = "don't create ini file!";
constexpr char kSettingsNotWrittenText[] = "don't write ini file!";
constexpr char kSameFileText[] = ": it is the file being captured into";
// A from or to field whose text the filter does not take as written.
constexpr COLORREF kDoubtfulFieldText = RGB(176, 0, 0);
constexpr COLORREF kDoubtfulFieldGround = RGB(255, 214, 214);

// The options that only switch flags of the settings record.
std::optional<FlagOption> FlagOptionOf(WORD id) {
  switch (id) {
    case IDM_SAVE_PREFERENCES: return FlagOption::kSaveSessionPreferences;
    case IDM_HEX_ONLY_UDP: return FlagOption::kHexOnlyUdp;
    case IDM_HEX_TCP_AND_UDP: return FlagOption::kHexTcpAndUdp;
    case IDM_TCP_TEXT_VIEW: return FlagOption::kTcpTextView;
    case IDM_TCP_ASCII_VIEW: return FlagOption::kTcpAsciiView;
    default: return std::nullopt;
  }
}

// A right click selects the row under it; below the last row the selection
// stays. True when the selection changed.
bool SelectRowAt(HWND list, POINT screen) {
  POINT at = screen;
  ScreenToClient(list, &at);
  const LRESULT found = SendMessageA(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(at.x, at.y));
  if (HIWORD(found) != 0) return false;
  const WPARAM row = LOWORD(found);
  RECT item{};
  if (SendMessageA(list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&item)) == LB_ERR ||
      !PtInRect(&item, at)) {
    return false;
  }
  if (SendMessageA(list, LB_GETCURSEL, 0, 0) == static_cast<LRESULT>(row)) return false;
  SendMessageA(list, LB_SETCURSEL, row, 0);
  return true;
}

// The entry of a combo box's drop-down list that is selected.
std::string SelectedEntry(HWND combo) {
  const LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
  const LRESULT length = selected >= 0 ? SendMessageA(combo, CB_GETLBTEXTLEN, selected, 0) : -1;
  if (length < 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(selected),
               reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

void ShowError(HWND dialog, const char* text) {
  MessageBoxA(dialog, text, "error:", MB_ICONHAND | MB_OK);
  ShowWindow(dialog, SW_SHOW);
}

}  // namespace

MainDialog::MainDialog(HINSTANCE instance, const MainDialogSetup& setup, CaptureStore& store)
    : instance_(instance),
      setup_(setup),
      state_(store),
      settings_store_(setup.settings != nullptr ? *setup.settings : own_settings_store_.emplace()),
      tray_(instance, setup.notify_area != nullptr ? *setup.notify_area : SystemNotifyArea()),
      details_(instance, look_),
      privilege_(setup.privilege != nullptr ? *setup.privilege : SystemPrivilegeCheck()),
      stream_file_(setup.stream_file != nullptr ? *setup.stream_file : own_stream_file_.emplace()),
      source_(*setup.source),
      session_(store, view_, source_),
      animator_(tray_, setup.animation_pause) {}

MainDialog::~MainDialog() {
  animator_.end_all();
  session_.end_at_exit();
  if (doubtful_field_brush_ != nullptr) DeleteObject(doubtful_field_brush_);
}

INT_PTR MainDialog::run() {
  // The manifest's common controls version 6 are used from the first
  // control on.
  InitCommonControls();
  return run_modal(instance_, IDD_MAIN, nullptr);
}

// The initialisation sequence. Its order matters: the look first, then the
// system's name and the controls' start values, the tooltips, the settings
// (which may show the about box), and the flip to the notification area
// last.
BOOL MainDialog::on_init_dialog() {
  view_.attach(hwnd(), state_.store, [this] { start_animation(); });
  view_.set_tip_function([this](const std::string& tip) {
    tray_.set_running_tip(tip, !tip.empty() && state_.settings.EnableFlipToTray);
  });
  tray_.attach(hwnd());
  if (!look_.create()) MessageBoxA(hwnd(), kLookFailedText, "Error", MB_OK);
  if (!describe_running_system()) return FALSE;
  set_icon_and_cursor();
  show_start_values();
  fill_interface_combo();
  SetDlgItemTextA(hwnd(), IDC_FROM, kAnyField);
  SetDlgItemTextA(hwnd(), IDC_TO, kAnyField);
  add_tooltips();
  SetFocus(GetDlgItem(hwnd(), IDC_INTERFACE));
  EnableWindow(GetDlgItem(hwnd(), IDC_STOP), FALSE);
  if (system_.pre2000) {
    EnableWindow(GetDlgItem(hwnd(), IDC_GO), FALSE);
    view_.add_text_row(kOsRefusedRow);
    return FALSE;
  }
  load_settings();
  // The session's stop flag is 1 from its construction: no capture runs.
  // The dialog manager displays the dialog once this returns, also after
  // the flip, which restores it (on_size then clears the hidden flag): the
  // start ends with the window shown and its icon in the notification area.
  if (state_.settings.EnableFlipToTray) tray_.flip_to_tray();
  SetForegroundWindow(hwnd());
  initialised_ = true;
  if (!setup_.start_file.empty()) PostMessageA(hwnd(), PW_MSG_OPEN_START_FILE, 0, 0);
  return FALSE;
}

// The system description and the 95/98/Me test. False when the system
// answers neither the extended nor the basic version query.
bool MainDialog::describe_running_system() {
  auto query = setup_.query_version != nullptr ? setup_.query_version : GetVersionExA;
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
  system_ = DescribeSystem(v);
  return true;
}

// The icons are shared icons that the system owns: they are never
// destroyed. Each is the image drawn for its size (the icon files hold one
// for every size from 100 % to 200 %).
void MainDialog::set_icon_and_cursor() {
  HICON icon = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_APP));
  SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageA(hwnd(), WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(SmallIcon(instance_, IDI_APP)));
  wait_cursor_ = LoadCursorA(nullptr, IDC_WAIT);
}

// The list's tab stops follow its captions from here on.
void MainDialog::show_start_values() {
  layout_.take_template(hwnd());
  RECT client{};
  GetClientRect(hwnd(), &client);
  view_.set_tab_stops(layout_.arrange(client.right, client.bottom));
  SetChecked(hwnd(), IDC_TCP, true);
  SetChecked(hwnd(), IDC_UDP, true);
  SendDlgItemMessageA(hwnd(), IDC_LIST, LB_SETHORIZONTALEXTENT, ScaledPixels(kListExtent), 0);
  AddListKeys(GetDlgItem(hwnd(), IDC_LIST), /*escape_closes=*/false);
  view_.add_text_row(system_.view());
}

void MainDialog::fill_interface_combo() {
  auto query = setup_.query_adapters != nullptr ? setup_.query_adapters : QuerySystemAdapters;
  slots_ = FillInterfaceSlots(query());
  HWND combo = GetDlgItem(hwnd(), IDC_INTERFACE);
  for (const std::string& entry : InterfaceComboEntries(slots_)) {
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  }
  SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

void MainDialog::add_tooltips() {
  doubtful_field_brush_ = CreateSolidBrush(kDoubtfulFieldGround);
  tooltip_ = CreateTooltipWindow(GetDlgItem(hwnd(), IDC_INTERFACE));
  for (const ControlTooltip& tip : kMainDialogTooltips) {
    HWND control = GetDlgItem(hwnd(), tip.control);
    AddControlTooltip(tooltip_, tip.edit_field ? GetWindow(control, GW_CHILD) : control,
                      tip.text);
    if (tip.limit_input) SendMessageA(control, CB_LIMITTEXT, kFieldInputLimit, 0);
  }
}

void MainDialog::load_settings() {
  SettingsControls controls;
  switch (LoadSettings(settings_store_, state_.settings, controls)) {
    case LoadOutcome::kFirstRun:
      ShowAboutBox(instance_, hwnd(), look_);
      break;
    case LoadOutcome::kLoaded:
      ShowSettingsControls(hwnd(), controls);
      judge_fields();
      break;
    case LoadOutcome::kNoFolder:
    case LoadOutcome::kPreferencesOff:
      break;
  }
}

void MainDialog::on_paint() { PaintSolidBackground(hwnd(), kBackgroundColour); }

// With flip to tray on, a minimised window hides behind its icon; any other
// size change means the window is not hidden in the notification area, and
// arranges the list and its captions.
void MainDialog::on_size(WPARAM kind, int width, int height) {
  if (kind != SIZE_MINIMIZED) {
    tray_.set_hidden(false);
    if (layout_.minimum_size().cx != 0) view_.set_tab_stops(layout_.arrange(width, height));
    return;
  }
  if (!state_.settings.EnableFlipToTray) return;
  tray_.flip_to_tray();
  tray_.set_hidden(true);
  ShowWindow(hwnd(), SW_HIDE);
}

// The dialog's own size is the smallest: below it the controls would
// overlap.
void MainDialog::on_get_min_max_info(MINMAXINFO& info) {
  if (layout_.minimum_size().cx != 0) info.ptMinTrackSize = {layout_.minimum_size().cx,
                                                             layout_.minimum_size().cy};
}

void MainDialog::on_close() { shut_down(); }

// A right click over the list selects the row under it and takes the
// selection over as the datagram for the details command; the menu opens
// at the click, or near the window's corner when it was asked for from the
// keyboard.
void MainDialog::on_context_menu(POINT where) {
  HWND list = GetDlgItem(hwnd(), IDC_LIST);
  if (WindowFromPoint(where) == list) {
    if (SelectRowAt(list, where)) follow_selection();
    state_.selected_index = static_cast<int32_t>(SendMessageA(list, LB_GETCURSEL, 0, 0));
  }
  if (where.x == -1 && where.y == -1) {
    RECT frame;
    GetWindowRect(hwnd(), &frame);
    where = {frame.left + kKeyboardMenuOffset, frame.top + kKeyboardMenuOffset};
  }
  ShowContextMenu(instance_, hwnd(), where);
}

// Any other id, among them IDCANCEL, which the dialog manager sends for Esc,
// does nothing: Esc does not close the window. Enter comes as IDOK (the
// dialog has no default button).
void MainDialog::on_command(WORD id, WORD notification, HWND control) {
  switch (id) {
    case IDC_LIST:
      if (notification == LBN_SELCHANGE) follow_selection();
      if (notification == LBN_DBLCLK) show_selected_details();
      break;
    case IDOK:
      if (GetFocus() == GetDlgItem(hwnd(), IDC_LIST)) show_selected_details();
      break;
    case IDC_FROM:
    case IDC_TO:
      if (notification == CBN_EDITCHANGE) judge_field(id, ControlText(hwnd(), id), true);
      if (notification == CBN_KILLFOCUS) judge_field(id, ControlText(hwnd(), id), false);
      // The field shows the chosen entry only after this notification.
      if (notification == CBN_SELCHANGE) judge_field(id, SelectedEntry(control), false);
      break;
    case IDC_TCP:
    case IDC_UDP:
    case IDC_ICMP:
    case IDC_IGMP:
    case IDC_RAW:
      judge_fields();
      break;
    case IDC_GO: start_capture(); break;
    case IDC_STOP: session_.stop(); break;
    case IDC_ON_TOP: PlaceOnTop(hwnd(), Checked(hwnd(), IDC_ON_TOP)); break;
    case IDM_DETAILS: show_details(/*activate=*/true); break;
    case IDM_EXIT: shut_down(); break;
    case IDM_OPEN_CAPTURE: open_capture_command(); break;
    case IDM_CAPTURE_TO_FILE: capture_into_command(); break;
    case IDM_ABOUT: ShowAboutBox(instance_, hwnd(), look_); break;
    case IDM_FLIP_TO_TRAY: switch_flip_to_tray(); break;
    case IDM_TRAY_ICON_ANIME: switch_tray_icon_anime(); break;
    default:
      if (const std::optional<FlagOption> option = FlagOptionOf(id)) {
        ApplyFlagOption(state_.settings, *option);
      }
      for (const SaveCommand& save : kSaveCommands) {
        if (save.menu_command == id) SaveStore(save_context(), save.format);
      }
      break;
  }
}

// The shown menu itself (and again its first submenu, which is at position
// 0 too); items are found by command id, so the first covers them all.
void MainDialog::on_init_menu_popup(HMENU popup, UINT position, bool window_menu) {
  if (position != 0 || window_menu) return;
  MarkOptions(popup, state_.settings);
  MarkFileCommands(popup, can_open_file(), !capture_into_.empty(), view_.capturing());
}

HBRUSH MainDialog::on_ctl_color_static(HDC dc, HWND control) {
  return look_.static_brush(dc, control);
}

// The edit field of a from or to combo box whose text is doubtful is red.
HBRUSH MainDialog::on_ctl_color_edit(HDC dc, HWND control) {
  const FieldDoubt* doubt = doubt_of(GetDlgCtrlID(GetParent(control)));
  if (doubt == nullptr || doubt->judgement.verdict == FieldVerdict::kTaken) return nullptr;
  SetTextColor(dc, kDoubtfulFieldText);
  SetBkColor(dc, kDoubtfulFieldGround);
  return doubtful_field_brush_;
}

MainDialog::FieldDoubt* MainDialog::doubt_of(int field) {
  if (field == IDC_FROM) return &field_doubts_[0];
  if (field == IDC_TO) return &field_doubts_[1];
  return nullptr;
}

void MainDialog::judge_fields() {
  judge_field(IDC_FROM, ControlText(hwnd(), IDC_FROM), false);
  judge_field(IDC_TO, ControlText(hwnd(), IDC_TO), false);
}

// The field turns red, or back, and its tip says why first. While the user
// types (`typing`), a field that is not red stays so until the keyboard
// leaves it: on the way to "10.0.0.1:80" the text has no colon for a while.
void MainDialog::judge_field(int field, const std::string& text, bool typing) {
  FieldDoubt* doubt = doubt_of(field);
  SettingsControls controls;
  FieldJudgement judgement = JudgeFilterField(text, ReadStartRequest(hwnd(), controls).protocols);
  if (doubt == nullptr || judgement.reason == doubt->judgement.reason) return;
  if (typing && doubt->judgement.verdict == FieldVerdict::kTaken) return;
  doubt->judgement = std::move(judgement);
  const char* help = "";
  for (const ControlTooltip& tip : kMainDialogTooltips) {
    if (tip.control == field) help = tip.text;
  }
  doubt->tip = doubt->judgement.reason.empty() ? help : doubt->judgement.reason + "\r\n" + help;
  HWND edit = GetWindow(GetDlgItem(hwnd(), field), GW_CHILD);
  SetControlTooltipText(tooltip_, edit, doubt->tip.c_str());
  InvalidateRect(edit, nullptr, TRUE);
}

void MainDialog::on_timer(UINT_PTR id) { view_.on_timer(id); }

void MainDialog::on_private_message(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case PW_MSG_SECOND_INSTANCE:
      SetForegroundWindow(hwnd());
      break;
    case PW_MSG_TRAY_ICON:
      on_tray_icon(wparam, lparam);
      break;
    case PW_MSG_CAPTURE_ENDED:
      view_.on_capture_ended(wparam, lparam);
      break;
    case PW_MSG_OPEN_START_FILE:
      open_capture_file(setup_.start_file);
      break;
    default:
      break;
  }
}

// A left click shows a hidden window or hides a shown one (the minimise
// flips it to the notification area through on_size); a right click opens
// the popup menu at the cursor.
void MainDialog::on_tray_icon(WPARAM icon_id, LPARAM mouse_message) {
  if (icon_id != PW_TRAY_ICON_ID) return;
  if (mouse_message == WM_LBUTTONDOWN) {
    if (tray_.hidden()) {
      tray_.restore_from_tray();
    } else {
      hide_in_tray();
    }
  } else if (mouse_message == WM_RBUTTONUP) {
    ShowTrayMenu(instance_, hwnd());
  }
}

// Minimises the window, which flips it to the notification area through
// on_size, and hides it.
void MainDialog::hide_in_tray() {
  ShowWindow(hwnd(), SW_MINIMIZE);
  ShowWindow(hwnd(), SW_HIDE);
}

// A capture file that a second start hands over is opened when the window
// is idle, and ignored otherwise.
bool MainDialog::on_copy_data(HWND, const COPYDATASTRUCT& data) {
  std::string path;
  return HandedOverFile(data, path) && open_capture_file(path);
}

// "go!": the network.
void MainDialog::start_capture() { start_session(nullptr); }

// "open capture &file...": the open-file dialog, then the chosen file.
void MainDialog::open_capture_command() {
  if (!can_open_file()) return;
  const FilePrompt prompt = setup_.open_prompt != nullptr ? setup_.open_prompt : GetOpenFileNameA;
  char path[MAX_PATH];
  if (!AskForFile(prompt, kCaptureOpenDialog, hwnd(), dialog_folder_, path)) {
    return;
  }
  open_capture_file(path);
}

// "capture &into file...": checked, it unchecks; unchecked, the save-file
// dialog, and a chosen file checks it. Not while a session runs.
void MainDialog::capture_into_command() {
  if (view_.capturing()) return;
  if (!capture_into_.empty()) {
    capture_into_.clear();
    return;
  }
  const FilePrompt prompt = setup_.save_prompt != nullptr ? setup_.save_prompt : GetSaveFileNameA;
  char path[MAX_PATH];
  if (AskForFile(prompt, kCaptureIntoDialog, hwnd(), dialog_folder_, path)) capture_into_ = path;
}

// A file starts a session only when none runs, the initialisation is over
// and no box of the window's own is open (its window is disabled then); a
// system refused at start-up reads no files either.
bool MainDialog::can_open_file() const {
  return initialised_ && !system_.pre2000 && !view_.capturing() && IsWindowEnabled(hwnd());
}

// The file being captured into is written anew as the session starts: read
// from, it would be lost.
bool MainDialog::open_capture_file(const std::string& path) {
  if (!can_open_file()) return false;
  if (!capture_into_.empty() && SameFile(path, capture_into_)) {
    ShowError(hwnd(), ("cannot open " + path + kSameFileText).c_str());
    return false;
  }
  if (tray_.hidden()) tray_.restore_from_tray();
  start_session(&path);
  return true;
}

// Starts a session over the network (`file` null) on the interface that
// the interface field names, or over the capture file, with what the
// controls say; each start's texts go to the from and to history first. A
// session that ended by itself may still be on its way out; it is joined
// before the next one opens its source.
void MainDialog::start_session(const std::string* file) {
  session_.end_at_exit();
  judge_fields();
  SettingsControls texts;
  StartRequest request = ReadStartRequest(hwnd(), texts);
  request.origin = file != nullptr
                       ? FileOrigin(*file)
                       : NetworkOrigin(ChooseBindAddress(texts.bind_to_interface, slots_));
  view_.add_field_history(request.from_field, request.to_field);
  if (!capture_into_.empty()) {
    stream_.emplace(stream_file_, StreamPlan{capture_into_});
    request.stream = &*stream_;
    request.packet_limit = 0;
  }
  view_.stream_into(request.stream, capture_into_);
  details_.clear();
  session_.start(request, RightsToRead(request.origin, privilege_));
}

// Command 108: the wait cursor while the details window is found or created
// and the report decoded; then the window is shown, and with `activate`
// comes to the front. While a session runs, the list holds one row per
// stored datagram and nothing else: a "don't found data!" row there would
// stand where the next datagram's row belongs and put every later row one
// off its datagram, so the details window then just stays empty.
void MainDialog::show_details(bool activate) {
  HCURSOR previous = SetCursor(wait_cursor_);
  const bool open = details_.open_empty(hwnd());
  DetailReport report;
  const DetailsOutcome outcome = DecodeSelectedPacket(
      state_.store, state_.selected_index, PayloadViewFlagsOf(state_.settings), report);
  if (outcome == DetailsOutcome::kNoData) {
    if (!view_.capturing()) view_.add_text_row(kNoDataRow);
  } else if (open) {
    details_.show_report(report, static_cast<uint32_t>(state_.selected_index));
  }
  SetCursor(previous);
  if (activate) {
    details_.bring_to_front();
  } else {
    details_.show_inactive();
  }
}

// A double click or Enter on a row: its details, in a window opened or
// refreshed, with the keyboard left in the list.
void MainDialog::show_selected_details() {
  const LRESULT row = SendDlgItemMessageA(hwnd(), IDC_LIST, LB_GETCURSEL, 0, 0);
  if (row < 0) return;
  state_.selected_index = static_cast<int32_t>(row);
  show_details(/*activate=*/false);
}

// While the details window is open it shows the datagram of the list's
// selection; a row that names none (a message row) leaves it empty.
void MainDialog::follow_selection() {
  const LRESULT row = SendDlgItemMessageA(hwnd(), IDC_LIST, LB_GETCURSEL, 0, 0);
  if (!details_.is_open() || row < 0) return;
  state_.selected_index = static_cast<int32_t>(row);
  int32_t index = state_.selected_index;
  DetailReport report;
  if (DecodeSelectedPacket(state_.store, index, PayloadViewFlagsOf(state_.settings), report) ==
      DetailsOutcome::kReport) {
    details_.show_report(report, static_cast<uint32_t>(index));
  } else {
    details_.clear();
  }
}

SaveCommandContext MainDialog::save_context() {
  SaveCommandContext context{hwnd(), state_.store, dialog_folder_};
  if (setup_.save_prompt != nullptr) context.prompt = setup_.save_prompt;
  if (setup_.write_file != nullptr) context.write = setup_.write_file;
  return context;
}

// Switching on leaves a visible window with its icon (the show after the
// flip restores the window, which clears the hidden flag through on_size);
// switching off shows the window, ends the animation and removes the icon.
void MainDialog::switch_flip_to_tray() {
  SettingsRecord& settings = state_.settings;
  settings.EnableFlipToTray = !settings.EnableFlipToTray;
  if (settings.EnableFlipToTray) {
    tray_.flip_to_tray();
  } else {
    tray_.restore_from_tray();
  }
  ShowWindow(hwnd(), SW_SHOWNORMAL);
  SetForegroundWindow(hwnd());
  if (!settings.EnableFlipToTray) {
    set_tray_icon_anime(false);
    tray_.remove();
  }
}

// Switching off lets a running animation end after its cycle; switching on
// starts one more animation thread, which animates only while a capture
// runs.
void MainDialog::switch_tray_icon_anime() {
  const bool on = !state_.settings.EnableTrayIconAnime;
  set_tray_icon_anime(on);
  if (on) start_animation();
}

void MainDialog::start_animation() {
  animator_.start(session_.stop_flag(), state_.settings.EnableTrayIconAnime);
}

// The animation threads read the flag at the same time.
void MainDialog::set_tray_icon_anime(bool on) {
  std::atomic_ref<bool>(state_.settings.EnableTrayIconAnime).store(on, std::memory_order_release);
}

// The shutdown sequence: a running capture ends before the settings are
// stored; the brushes go before the icon. The animation threads, woken from
// their pauses, end at once.
void MainDialog::shut_down() {
  if (shutting_down_) return;
  shutting_down_ = true;
  session_.end_at_exit();
  store_settings();
  look_.destroy();
  tray_.remove();
  animator_.end_all();
  EndDialog(hwnd(), 0);
}

// Failures are told once each, and the window is shown after the message.
void MainDialog::store_settings() {
  std::string error_text;
  switch (StoreSettings(settings_store_, state_.settings, ReadSettingsControls(hwnd()),
                        error_text)) {
    case StoreOutcome::kFolderFailed:
      ShowError(hwnd(), error_text.c_str());
      break;
    case StoreOutcome::kFileFailed:
      ShowError(hwnd(), kSettingsNotCreatedText);
      break;
    case StoreOutcome::kWriteFailed:
      ShowError(hwnd(), kSettingsNotWrittenText);
      break;
    case StoreOutcome::kNoFolder:
    case StoreOutcome::kStored:
      break;
  }
}

}  // namespace pw
