// The system's network adapters, as the IP helper lists them
// (interface_list.cpp); the rules that turn them into the interface
// combo's entries are in ui/interface_slots.h.
#pragma once

#include "ui/interface_slots.h"

namespace pw {

AdapterQuery QuerySystemAdapters();

}  // namespace pw
