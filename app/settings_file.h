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

#include <cstdint>
#include <string>
#include <string_view>

#include "app/settings_record.h"

namespace pw {

// Values are read with room for this many characters (a buffer of 80).
inline constexpr size_t kSettingsValueMax = 79;

// Where the settings live. UI thread only; every call may block briefly on
// the file system.
class IniStore {
 public:
  // Finds the per-user application-data folder and joins "Gravlin" to it
  // (the application folder, which the save dialogs start in). False when
  // the per-user folder cannot be found.
  virtual bool locate() = 0;

  // Opens the existing settings file for reading and writing: the test of a
  // first run. False when it is missing or cannot be opened so. The file
  // stays open until close().
  virtual bool open_existing() = 0;

  // The value of `key`, at most kSettingsValueMax characters; `fallback`
  // when the key is missing.
  virtual std::string read(std::string_view key, std::string_view fallback) = 0;

  // Creates the application folder. True when it exists afterwards; false
  // with the system's error code otherwise.
  virtual bool create_folder(uint32_t& error) = 0;

  // Opens the settings file for reading and writing, creating it when
  // missing. The file stays open until close().
  virtual bool open_always() = 0;

  // Writes `key` = `value`. Failures of single writes are not reported.
  virtual void write(std::string_view key, std::string_view value) = 0;

  // Closes what open_existing or open_always opened; safe when nothing is.
  virtual void close() = 0;

 protected:
  ~IniStore() = default;
};

// The main dialog's controls that the file mirrors.
struct SettingsControls {
  std::string bind_to_interface;  // combo 1006
  std::string from_field;         // combo 1004
  std::string to_field;           // combo 1005
  bool two_way_traffic = false;   // box 1007
  bool on_top = false;            // box 1019
  bool tcp = false;               // box 1014
  bool udp = false;               // box 1015
  bool icmp = false;              // box 1008
  bool igmp = false;              // box 1009
  bool raw = false;               // box 1013
};

// The keys in the order in which they are written and read.
inline constexpr std::string_view kSettingsKeys[] = {
    "SaveSessionPreferences", "EnableFlipToTray",   "EnableTrayIconAnime",
    "DataInHexViewOnlyUdp",   "TcpDataInTextView",  "BindToInterface",
    "FromIPAddress:port",     "ToIPAddress:port",   "TwoWayTraffic",
    "OnTop",                  "OnTcp",              "OnUdp",
    "OnIcmp",                 "OnIgmp",             "OnRaw",
};

enum class LoadOutcome {
  kNoFolder,        // no application-data folder: nothing set, all flags off
  kFirstRun,        // no settings file: first-run defaults; show the about box
  kPreferencesOff,  // SaveSessionPreferences is off: nothing else was read
  kLoaded,          // every key read; `controls` holds the values to show
};

// Loads the record and, with kLoaded, the controls (which are left alone
// otherwise). A boolean is true only when its value is exactly "Yes".
LoadOutcome LoadSettings(IniStore& store, SettingsRecord& record,
                         SettingsControls& controls);

enum class StoreOutcome {
  kNoFolder,      // no application-data folder: nothing written, no message
  kFolderFailed,  // the application folder cannot be created: `error` set
  kFileFailed,    // the file cannot be opened or created: "don't create ini file!"
  kStored,
};

// Writes only SaveSessionPreferences = "No" when that option is off, else
// all fifteen keys; the control texts are cut to the room the dialog reads
// them with (19 characters for the interface, 23 for from and to).
StoreOutcome StoreSettings(IniStore& store, const SettingsRecord& record,
                           const SettingsControls& controls, uint32_t& error);

}  // namespace pw
