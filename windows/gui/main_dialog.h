// The main dialog (dialog 102, titled "Pebblewire"): the capture controls,
// the filter fields and the list of captured datagrams. It runs modally on
// the main thread for the life of the program, drives the capture session
// through its capture view, and receives every command of the popup menu
// and every message of the notification icon.
//
// The MainDialog object is the program's state: WinMain creates one and
// runs it; it owns the settings record, the selected index, the look
// brushes, the notification icon and its animation threads, the details
// window and the capture session, and refers to the process's one capture
// store. Tests create their own and read the state through it.
//
// A session reads the network ("go!") or a capture file ("open capture
// &file...", the command line's file, a file that a second start hands
// over) through the same capture session: the same filter fields,
// protocol boxes, rows, limits, details and save commands. A file needs no
// right to capture and ends by itself at its end; a damaged one after its
// whole datagrams, with " capture failed: <path>: <reason>" listed as a
// failed capture's reason is. A file is opened only while no session runs
// (the menu command is greyed meanwhile, and a handed-over file is then
// ignored), and opening one shows a window hidden in the notification area.
//
// While "capture &into file..." is checked, every session (also a file's,
// which then becomes a filtered copy) streams each accepted datagram into
// the chosen pcap file, written anew at each start: the store's limits end
// only the storing, and the session runs until stop, exit, the end of the
// file read, or a failed write. The file is never kept in the settings,
// and a capture file that is the file written into is not opened.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "capture/interface_list.h"
#include "capture/privilege.h"
#include "engine/capture_session.h"
#include "engine/capture_store.h"
#include "engine/packet_source.h"
#include "engine/source_choice.h"
#include "gui/details_window.h"
#include "gui/dialog_capture_view.h"
#include "gui/file_dialog.h"
#include "gui/ini_store.h"
#include "gui/list_layout.h"
#include "gui/save_commands.h"
#include "gui/stream_file.h"
#include "shell/dialog_base.h"
#include "shell/look.h"
#include "shell/tray_animator.h"
#include "shell/tray_icon.h"
#include "ui/settings_record.h"
#include "ui/system_description.h"

namespace pw {

// The main window's title; a second start looks for a window of this title.
inline constexpr char kMainWindowTitle[] = "Pebblewire";

// What the main dialog works with. The program passes the system's raw
// socket source and the command line's file and leaves the rest to their
// defaults; tests replace them.
struct MainDialogSetup {
  PacketSource* source = nullptr;       // required: the network's source
  PrivilegeCheck* privilege = nullptr;  // null: SystemPrivilegeCheck()
  IniStore* settings = nullptr;  // null: gravlin.ini in the user's application-data folder
  AdapterQuery (*query_adapters)() = nullptr;  // null: QuerySystemAdapters
  // Fills the version record as GetVersionExA does; null: GetVersionExA.
  BOOL (*query_version)(OSVERSIONINFOA* version) = nullptr;
  NotifyArea* notify_area = nullptr;          // null: Shell_NotifyIconA
  AnimationPause* animation_pause = nullptr;  // null: real pauses
  FilePrompt save_prompt = nullptr;           // null: GetSaveFileNameA
  WriteFunction write_file = nullptr;         // null: WriteFile
  FilePrompt open_prompt = nullptr;           // null: GetOpenFileNameA
  StreamFile* stream_file = nullptr;  // null: WindowsStreamFile (capture into file)
  // A capture file to open once the dialog is initialised (after the
  // settings and, on a first run, the about box); empty: none.
  std::string start_file;
};

// What the program keeps besides its windows (main thread only).
struct ProgramState {
  explicit ProgramState(CaptureStore& capture_store) : store(capture_store) {}
  // The capture store: written by the capture thread, read by the details
  // and save commands.
  CaptureStore& store;
  // The option flags: all false until the settings are loaded.
  SettingsRecord settings{};
  // The row chosen for the details command: the list's selection when the
  // popup menu was last opened over the list (a right click selects the
  // row under it), a row double-clicked or entered, or the selection that
  // an open details window follows; -1 when none was selected.
  int32_t selected_index = 0;
};

class MainDialog final : public DialogBase {
 public:
  MainDialog(HINSTANCE instance, const MainDialogSetup& setup, CaptureStore& store);
  ~MainDialog() override;

  // Runs dialog 102 modally, without an owner, until it ends. Once per
  // object.
  INT_PTR run();

  ProgramState& state() { return state_; }
  const Look& look() const { return look_; }
  const TrayIcon& tray() const { return tray_; }
  // The details window the program created; null while there is none.
  HWND details_window() const { return details_.hwnd(); }
  // The main list's tab stops (dialog units of its client area).
  const std::array<INT, kListColumns>& list_tab_stops() const { return view_.tab_stops(); }
  // The room that an address column of the list takes when the window is
  // wide enough.
  int address_room() const { return layout_.address_room(); }
  // The tooltip window of the controls; null before initialisation.
  HWND tooltip_window() const { return tooltip_; }

 private:
  // Initialisation (WM_INITDIALOG), in its order.
  BOOL on_init_dialog() override;
  bool describe_running_system();
  void set_icon_and_cursor();
  void show_start_values();
  void fill_interface_combo();
  void add_tooltips();
  void load_settings();

  // Messages.
  void on_paint() override;
  void on_size(WPARAM kind, int width, int height) override;
  void on_get_min_max_info(MINMAXINFO& info) override;
  void on_close() override;
  void on_context_menu(POINT where) override;
  void on_command(WORD id, WORD notification, HWND control) override;
  void on_init_menu_popup(HMENU popup, UINT position, bool window_menu) override;
  HBRUSH on_ctl_color_static(HDC dc, HWND control) override;
  HBRUSH on_ctl_color_edit(HDC dc, HWND control) override;
  void on_timer(UINT_PTR id) override;
  void on_private_message(UINT message, WPARAM wparam, LPARAM lparam) override;
  bool on_copy_data(HWND sender, const COPYDATASTRUCT& data) override;
  void on_tray_icon(WPARAM icon_id, LPARAM mouse_message);

  // The from and to fields' texts as the filter will take them
  // (JudgeFilterField): a doubtful one is red, and its tip says why.
  struct FieldDoubt {
    FieldJudgement judgement;
    std::string tip;  // the tooltip's text while the field is doubtful
  };
  FieldDoubt* doubt_of(int field);
  void judge_fields();
  void judge_field(int field, const std::string& text, bool typing);
  void hide_in_tray();

  // Commands.
  void start_capture();
  void open_capture_command();
  void capture_into_command();
  bool can_open_file() const;
  bool open_capture_file(const std::string& path);
  void start_session(const std::string* file);
  void show_details(bool activate);
  void show_selected_details();
  void follow_selection();
  SaveCommandContext save_context();
  void switch_flip_to_tray();
  void switch_tray_icon_anime();
  void start_animation();
  void set_tray_icon_anime(bool on);
  void shut_down();
  void store_settings();

  HINSTANCE instance_;
  MainDialogSetup setup_;
  ProgramState state_;
  std::optional<Win32IniStore> own_settings_store_;
  IniStore& settings_store_;
  Look look_;
  TrayIcon tray_;
  DetailsWindow details_;
  DialogCaptureView view_;
  // The list and its captions at the window's size.
  ListLayout layout_;
  // Where the file dialogs start.
  DialogFolder dialog_folder_;
  // The network's privilege check, asked before each start on the network.
  PrivilegeCheck& privilege_;
  // "capture &into file...": the file chosen (empty: unchecked), and the
  // stream of the last session that wrote it, which outlives its session.
  std::optional<WindowsStreamFile> own_stream_file_;
  StreamFile& stream_file_;
  std::string capture_into_;
  std::optional<CaptureStream> stream_;
  // The session's packet source: the network's, or a capture file's.
  SourceChoice source_;
  // The animation threads read the session's stop flag, the settings
  // record and the icon: they are ended before any of those goes.
  CaptureSession session_;
  TrayAnimator animator_;
  SystemDescription system_{};
  InterfaceSlots slots_;
  HCURSOR wait_cursor_ = nullptr;
  HWND tooltip_ = nullptr;
  std::array<FieldDoubt, 2> field_doubts_;  // from, to
  HBRUSH doubtful_field_brush_ = nullptr;
  bool shutting_down_ = false;
  // The initialisation has run to its end: files may be opened.
  bool initialised_ = false;
};

}  // namespace pw
