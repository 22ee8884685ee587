// Settings file: the option flags of the settings record and the last state
// of the main dialog's filter controls, kept in "gravlin.ini", section
// "Config", in the per-user application-data folder under "Gravlin".
//
// The file is read once while the main dialog initialises and written once
// when it closes. One option, SaveSessionPreferences, decides whether
// anything but itself is read and written. The algorithm here is portable;
// the Windows program stores through the private-profile functions
// (ini_store_win32.cpp), tests through a fake store.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/filter.h"
#include "packet/ipv4_header.h"
#include "ui/interface_slots.h"
#include "ui/settings_record.h"

namespace pw {

// Values are read with room for this many characters (a buffer of 80).
inline constexpr size_t kSettingsValueMax = 79;

// Where the settings live: the settings file in the application folder.
// The algorithm below asks only these questions; the Windows program answers
// them with the file system and the private-profile functions
// (ini_store_win32.cpp), tests with a store in memory. UI thread only; every
// call may block briefly on the file system.
class IniStore {
 public:
  // Finds the application folder (the per-user application-data folder
  // joined with "Gravlin"). False when the per-user folder cannot be found.
  virtual bool find_application_folder() = 0;

  // The application folder as found; empty before or when it was not
  // found. The save dialogs start there.
  virtual std::string application_folder() const = 0;

  // Does the settings file exist and open for reading and writing (the
  // first-run test)? When it does, it stays open until close().
  virtual bool open_existing_file() = 0;

  // The value of `key`, at most kSettingsValueMax characters; `fallback`
  // when the key is missing.
  virtual std::string read(std::string_view key, std::string_view fallback) = 0;

  // Makes the application folder. True when it exists afterwards (also
  // when it existed before); otherwise false and `error_text` says why, in
  // the system's words.
  virtual bool make_folder(std::string& error_text) = 0;

  // Opens the settings file for writing, creating it when missing. It
  // stays open until close().
  virtual bool open_file_for_writing() = 0;

  // Writes `key` = `value`; false when the value could not be written.
  virtual bool write(std::string_view key, std::string_view value) = 0;

  // Closes what open_existing_file or open_file_for_writing opened; safe
  // when nothing is open.
  virtual void close() = 0;

 protected:
  ~IniStore() = default;
};

// The filter controls that the file mirrors, as the front end shows them.
struct SettingsControls {
  std::string bind_to_interface;  // the interface address text
  std::string from_field;         // the "from" filter field, address:port
  std::string to_field;           // the "to" filter field, address:port
  bool two_way_traffic = false;   // "both traffic"
  bool on_top = false;            // the window stays above the others
  bool tcp = false;               // the five protocol switches
  bool udp = false;
  bool icmp = false;
  bool igmp = false;
  bool raw = false;
};

// One key of the settings file: its name, the field its value belongs to
// (an option flag of the record, or a switch or a text of the controls),
// the value it takes when the file lacks it, and for a text the room it is
// written with (the characters the front end reads it with).
struct SettingsKey {
  std::string_view name;
  bool SettingsRecord::*flag = nullptr;
  bool SettingsControls::*control = nullptr;
  std::string SettingsControls::*text = nullptr;
  bool missing_switch = false;  // flag and control keys
  std::string_view missing_text{};  // text keys
  size_t text_room = 0;           // text keys
};

// The keys in the order in which they are written and read; reading and
// writing both follow this table. SaveSessionPreferences comes first: it
// decides whether the others are read and written. A missing option takes
// its first-run value.
inline constexpr SettingsKey kSettingsKeys[] = {
    {"SaveSessionPreferences", &SettingsRecord::SaveSessionPreferences, nullptr, nullptr,
     kFirstRunSettings.SaveSessionPreferences},
    {"EnableFlipToTray", &SettingsRecord::EnableFlipToTray, nullptr, nullptr,
     kFirstRunSettings.EnableFlipToTray},
    {"EnableTrayIconAnime", &SettingsRecord::EnableTrayIconAnime, nullptr, nullptr,
     kFirstRunSettings.EnableTrayIconAnime},
    {"DataInHexViewOnlyUdp", &SettingsRecord::DataInHexViewOnlyUdp, nullptr, nullptr,
     kFirstRunSettings.DataInHexViewOnlyUdp},
    {"TcpDataInTextView", &SettingsRecord::TcpDataInTextView, nullptr, nullptr,
     kFirstRunSettings.TcpDataInTextView},
    {"BindToInterface", nullptr, nullptr, &SettingsControls::bind_to_interface, false,
     kLoopbackText, kInterfaceTextMax},
    {"FromIPAddress:port", nullptr, nullptr, &SettingsControls::from_field, false, kAnyField,
     kFieldTextMax},
    {"ToIPAddress:port", nullptr, nullptr, &SettingsControls::to_field, false, kAnyField,
     kFieldTextMax},
    {"TwoWayTraffic", nullptr, &SettingsControls::two_way_traffic, nullptr, false},
    {"OnTop", nullptr, &SettingsControls::on_top, nullptr, false},
    {"OnTcp", nullptr, &SettingsControls::tcp, nullptr, true},
    {"OnUdp", nullptr, &SettingsControls::udp, nullptr, false},
    {"OnIcmp", nullptr, &SettingsControls::icmp, nullptr, false},
    {"OnIgmp", nullptr, &SettingsControls::igmp, nullptr, false},
    {"OnRaw", nullptr, &SettingsControls::raw, nullptr, false},
};

enum class LoadOutcome {
  kNoFolder,        // no application-data folder: nothing set, all flags off
  kFirstRun,        // no settings file: first-run defaults; show the about box
  kPreferencesOff,  // SaveSessionPreferences is off: nothing else was read
  kLoaded,          // every key read; `controls` holds the values to show
};

// Loads the record and, with kLoaded, the controls (which are left alone
// otherwise). A boolean is true only when its value is exactly "Yes"; a
// text is cut to kSettingsValueMax characters.
LoadOutcome LoadSettings(IniStore& store, SettingsRecord& record,
                         SettingsControls& controls);

enum class StoreOutcome {
  kNoFolder,      // no application-data folder: nothing written, no message
  kFolderFailed,  // the application folder cannot be made: `error_text` says why
  kFileFailed,    // the file cannot be opened or created
  kWriteFailed,   // a key could not be written; the keys after it were not tried
  kStored,
};

// Writes only SaveSessionPreferences = "No" when that option is off, else
// every key in the key order; the control texts are cut to their keys'
// room. Stops at the first key that cannot be written: a settings
// file that cannot take one key will not take the next, and the user is
// told once (kWriteFailed) instead of the failure passing unnoticed.
StoreOutcome StoreSettings(IniStore& store, const SettingsRecord& record,
                           const SettingsControls& controls, std::string& error_text);

}  // namespace pw
