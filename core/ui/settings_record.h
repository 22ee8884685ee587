// The settings record: the seven option flags, named after the keys of the
// settings file. All false until the settings are loaded; the first run sets
// the defaults. Owned by the UI thread; the icon animation thread reads
// EnableTrayIconAnime.
#pragma once

#include "decode/payload_views.h"

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

// The flags of a first run: every option on, the hex view for UDP only,
// a TCP payload as text. A settings file that lacks an option's key gives
// it this value too.
inline constexpr SettingsRecord kFirstRunSettings{
    .SaveSessionPreferences = true,
    .EnableFlipToTray = true,
    .EnableTrayIconAnime = true,
    .DataInHexViewOnlyUdp = true,
    .DataInHexViewTcpAndUdp = false,
    .TcpDataInTextView = true,
    .TcpDataInAsciiView = false,
};

// The three flags that the details report reads. DataInHexViewOnlyUdp has
// no effect there: a UDP payload always gets its hex view.
constexpr PayloadViewFlags PayloadViewFlagsOf(const SettingsRecord& settings) {
  PayloadViewFlags flags;
  flags.tcp_ascii = settings.TcpDataInAsciiView;
  flags.tcp_text = settings.TcpDataInTextView;
  flags.tcp_hex = settings.DataInHexViewTcpAndUdp;
  return flags;
}

}  // namespace pw
