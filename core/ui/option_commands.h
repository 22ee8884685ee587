// The options of the popup menu that only switch flags of the settings
// record: the two view pairs and "save session pre&ferences". Choosing the
// checked item of a pair moves the check to its partner; choosing the
// unchecked one moves the check to it. The pairs are complementary
// afterwards, also when both started clear.
#pragma once

#include "ui/settings_record.h"

namespace pw {

enum class FlagOption {
  kSaveSessionPreferences,  // SaveSessionPreferences becomes its opposite
  kHexOnlyUdp,              // "only UDP" of the hex-view pair
  kHexTcpAndUdp,            // "TCP and UDP" of the hex-view pair
  kTcpTextView,             // "in text mode" of the TCP view pair
  kTcpAsciiView,            // "in ASCII mode" of the TCP view pair
};

void ApplyFlagOption(SettingsRecord& record, FlagOption option);

}  // namespace pw
