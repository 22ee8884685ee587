#include "ui/settings_file.h"

#include <iterator>
#include <span>
#include <utility>

namespace pw {
namespace {

constexpr std::string_view kYes = "Yes";
constexpr std::string_view kNo = "No";

std::string_view Flag(bool value) { return value ? kYes : kNo; }

// Reads one key into its field.
void Read(IniStore& store, const SettingsKey& key, SettingsRecord& record,
          SettingsControls& controls) {
  if (key.text != nullptr) {
    std::string value = store.read(key.name, key.missing_text);
    if (value.size() > kSettingsValueMax) value.resize(kSettingsValueMax);
    controls.*key.text = std::move(value);
    return;
  }
  const bool value = store.read(key.name, Flag(key.missing_switch)) == kYes;
  if (key.flag != nullptr) {
    record.*key.flag = value;
  } else {
    controls.*key.control = value;
  }
}

// The value one key is written with.
std::string_view ValueOf(const SettingsKey& key, const SettingsRecord& record,
                         const SettingsControls& controls) {
  if (key.text != nullptr) return std::string_view(controls.*key.text).substr(0, key.text_room);
  return Flag(key.flag != nullptr ? record.*key.flag : controls.*key.control);
}

}  // namespace

LoadOutcome LoadSettings(IniStore& store, SettingsRecord& record,
                         SettingsControls& controls) {
  if (!store.find_application_folder()) return LoadOutcome::kNoFolder;
  if (!store.open_existing_file()) {
    record = kFirstRunSettings;
    return LoadOutcome::kFirstRun;
  }
  LoadOutcome outcome = LoadOutcome::kPreferencesOff;
  Read(store, kSettingsKeys[0], record, controls);
  if (record.SaveSessionPreferences) {
    for (const SettingsKey& key : std::span(kSettingsKeys).subspan(1)) {
      Read(store, key, record, controls);
    }
    // The complements are not stored.
    record.DataInHexViewTcpAndUdp = !record.DataInHexViewOnlyUdp;
    record.TcpDataInAsciiView = !record.TcpDataInTextView;
    outcome = LoadOutcome::kLoaded;
  }
  store.close();
  return outcome;
}

StoreOutcome StoreSettings(IniStore& store, const SettingsRecord& record,
                           const SettingsControls& controls, std::string& error_text) {
  if (!store.find_application_folder()) return StoreOutcome::kNoFolder;
  if (!store.make_folder(error_text)) return StoreOutcome::kFolderFailed;
  if (!store.open_file_for_writing()) return StoreOutcome::kFileFailed;
  // With SaveSessionPreferences off only that key is written.
  const size_t count = record.SaveSessionPreferences ? std::size(kSettingsKeys) : 1;
  StoreOutcome outcome = StoreOutcome::kStored;
  for (const SettingsKey& key : std::span(kSettingsKeys).first(count)) {
    if (!store.write(key.name, ValueOf(key, record, controls))) {
      outcome = StoreOutcome::kWriteFailed;
      break;
    }
  }
  store.close();
  return outcome;
}

}  // namespace pw
