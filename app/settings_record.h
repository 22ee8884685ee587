// The settings record: the seven option flags, named after the keys of the
// settings file. All false until the settings are loaded; the first run sets
// the defaults. Owned by the UI thread; the icon animation thread reads
// EnableTrayIconAnime.
#pragma once

namespace pw {

struct SettingsRecord {
  bool SaveSessionPreferences = false;
  bool EnableFlipToTray = false;
  bool EnableTrayIconAnime = false;
  bool DataInHexViewOnlyUdp = false;
  bool DataInHexViewTcpAndUdp = false;  // complement of DataInHexViewOnlyUdp, not stored
  bool TcpDataInTextView = false;
  bool TcpDataInAsciiView = false;  // complement of TcpDataInTextView, not stored
};

}  // namespace pw
