#include "app/settings_file.h"

#include "capture/capture_session.h"
#include "capture/filter.h"

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

void WriteFlag(IniStore& store, Key key, bool value) {
  store.write(kSettingsKeys[key], value ? kYes : kNo);
}

void WriteText(IniStore& store, Key key, std::string_view text, size_t room) {
  store.write(kSettingsKeys[key], text.substr(0, room));
}

}  // namespace

LoadOutcome LoadSettings(IniStore& store, SettingsRecord& record,
                         SettingsControls& controls) {
  if (!store.locate()) return LoadOutcome::kNoFolder;
  if (!store.open_existing()) {
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
                           const SettingsControls& controls, uint32_t& error) {
  if (!store.locate()) return StoreOutcome::kNoFolder;
  if (!store.create_folder(error)) return StoreOutcome::kFolderFailed;
  if (!store.open_always()) return StoreOutcome::kFileFailed;
  WriteFlag(store, kSaveSessionPreferences, record.SaveSessionPreferences);
  if (record.SaveSessionPreferences) {
    WriteFlag(store, kEnableFlipToTray, record.EnableFlipToTray);
    WriteFlag(store, kEnableTrayIconAnime, record.EnableTrayIconAnime);
    WriteFlag(store, kDataInHexViewOnlyUdp, record.DataInHexViewOnlyUdp);
    WriteFlag(store, kTcpDataInTextView, record.TcpDataInTextView);
    WriteText(store, kBindToInterface, controls.bind_to_interface, kInterfaceTextMax);
    WriteText(store, kFromField, controls.from_field, kFieldTextMax);
    WriteText(store, kToField, controls.to_field, kFieldTextMax);
    WriteFlag(store, kTwoWayTraffic, controls.two_way_traffic);
    WriteFlag(store, kOnTop, controls.on_top);
    WriteFlag(store, kOnTcp, controls.tcp);
    WriteFlag(store, kOnUdp, controls.udp);
    WriteFlag(store, kOnIcmp, controls.icmp);
    WriteFlag(store, kOnIgmp, controls.igmp);
    WriteFlag(store, kOnRaw, controls.raw);
  }
  store.close();
  return StoreOutcome::kStored;
}

}  // namespace pw
