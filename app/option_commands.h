// The option commands of the popup menu that only switch flags of the
// settings record: the two view pairs and "save session pre&ferences".
// Choosing the checked item of a pair moves the check to its partner;
// choosing the unchecked one moves the check to it. The pairs are
// complementary afterwards, also when both started clear.
#pragma once

#include "app/settings_record.h"

namespace pw {

// Applies command `id` (119, 120, 121, 122 or 125) to `record`. Returns
// false, changing nothing, for any other id.
bool ApplyFlagOption(SettingsRecord& record, int id);

}  // namespace pw
