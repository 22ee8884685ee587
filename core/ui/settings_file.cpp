#include "ui/settings_file.h"

#include <array>
#include <iterator>

#include "engine/capture_session.h"
#include "engine/filter.h"

namespace pw {
namespace {

constexpr std::string_view kYes = "Yes";
constexpr std::string_view kNo = "No";

enum Key {
  kSaveSessionPreferences,
  kEnableFlipToTray,
  kEnableTrayIconAnime,
  kDataInHexViewOnlyUdp,
  kTcpDataInTextView,
  kBindToInterface,
  kFromField,
  kToField,
  kTwoWayTraffic,
  kOnTop,
  kOnTcp,
  kOnUdp,
  kOnIcmp,
  kOnIgmp,
  kOnRaw,
};

bool ReadFlag(IniStore& store, Key key, bool fallback) {
  return store.read(kSettingsKeys[key], fallback ? kYes : kNo) == kYes;
}

std::string ReadText(IniStore& store, Key key, std::string_view fallback) {
  std::string value = store.read(kSettingsKeys[key], fallback);
  if (value.size() > kSettingsValueMax) value.resize(kSettingsValueMax);
  return value;
}

// The values to write, in the key order.
using KeyValues = std::array<std::string_view, std::size(kSettingsKeys)>;

std::string_view Flag(bool value) { return value ? kYes : kNo; }

std::string_view Cut(std::string_view text, size_t room) { return text.substr(0, room); }

KeyValues ValuesToStore(const SettingsRecord& record, const SettingsControls& controls) {
  KeyValues v;
  v[kSaveSessionPreferences] = Flag(record.SaveSessionPreferences);
  v[kEnableFlipToTray] = Flag(record.EnableFlipToTray);
  v[kEnableTrayIconAnime] = Flag(record.EnableTrayIconAnime);
  v[kDataInHexViewOnlyUdp] = Flag(record.DataInHexViewOnlyUdp);
  v[kTcpDataInTextView] = Flag(record.TcpDataInTextView);
  v[kBindToInterface] = Cut(controls.bind_to_interface, kInterfaceTextMax);
  v[kFromField] = Cut(controls.from_field, kFieldTextMax);
  v[kToField] = Cut(controls.to_field, kFieldTextMax);
  v[kTwoWayTraffic] = Flag(controls.two_way_traffic);
  v[kOnTop] = Flag(controls.on_top);
  v[kOnTcp] = Flag(controls.tcp);
  v[kOnUdp] = Flag(controls.udp);
  v[kOnIcmp] = Flag(controls.icmp);
  v[kOnIgmp] = Flag(controls.igmp);
  v[kOnRaw] = Flag(controls.raw);
  return v;
}

}  // namespace

LoadOutcome LoadSettings(IniStore& store, SettingsRecord& record,
                         SettingsControls& controls) {
  if (!store.find_application_folder()) return LoadOutcome::kNoFolder;
  if (!store.open_existing_file()) {
    record.SaveSessionPreferences = true;
    record.EnableFlipToTray = true;
    record.EnableTrayIconAnime = true;
    record.DataInHexViewOnlyUdp = true;
    record.DataInHexViewTcpAndUdp = false;
    record.TcpDataInTextView = true;
    record.TcpDataInAsciiView = false;
    return LoadOutcome::kFirstRun;
  }
  LoadOutcome outcome = LoadOutcome::kPreferencesOff;
  record.SaveSessionPreferences = ReadFlag(store, kSaveSessionPreferences, true);
  if (record.SaveSessionPreferences) {
    record.EnableFlipToTray = ReadFlag(store, kEnableFlipToTray, true);
    record.EnableTrayIconAnime = ReadFlag(store, kEnableTrayIconAnime, true);
    record.DataInHexViewOnlyUdp = ReadFlag(store, kDataInHexViewOnlyUdp, true);
    record.DataInHexViewTcpAndUdp = !record.DataInHexViewOnlyUdp;
    record.TcpDataInTextView = ReadFlag(store, kTcpDataInTextView, true);
    record.TcpDataInAsciiView = !record.TcpDataInTextView;
    controls.bind_to_interface = ReadText(store, kBindToInterface, kLoopbackText);
    controls.from_field = ReadText(store, kFromField, "*:*");
    controls.to_field = ReadText(store, kToField, "*:*");
    controls.two_way_traffic = ReadFlag(store, kTwoWayTraffic, false);
    controls.on_top = ReadFlag(store, kOnTop, false);
    controls.tcp = ReadFlag(store, kOnTcp, true);
    controls.udp = ReadFlag(store, kOnUdp, false);
    controls.icmp = ReadFlag(store, kOnIcmp, false);
    controls.igmp = ReadFlag(store, kOnIgmp, false);
    controls.raw = ReadFlag(store, kOnRaw, false);
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
  const KeyValues values = ValuesToStore(record, controls);
  // With SaveSessionPreferences off only that key is written.
  const size_t count = record.SaveSessionPreferences ? values.size() : 1;
  StoreOutcome outcome = StoreOutcome::kStored;
  for (size_t i = 0; i < count; ++i) {
    if (!store.write(kSettingsKeys[i], values[i])) {
      outcome = StoreOutcome::kWriteFailed;
      break;
    }
  }
  store.close();
  return outcome;
}

}  // namespace pw
