// The main dialog's controls that explain themselves: their tooltip texts,
// and the typed-input limit of the from and to fields.
#pragma once

#include <windows.h>

#include "engine/filter.h"
#include "res/resource.h"

namespace pw {

// Typed input of the from and to fields: as much as a field text keeps, the
// longest bracketed IPv6 address with a port.
inline constexpr WPARAM kFieldInputLimit = kFieldTextMax;

// The controls that explain themselves, in the order their tools are added.
// The combo boxes' tools are their edit fields (their first child). The
// from and to fields' tips say first, when there is something to say, why
// their text is not taken as written.
struct ControlTooltip {
  int control;
  bool edit_field;
  bool limit_input;  // the field takes at most kFieldInputLimit characters
  const char* text;
};
inline constexpr ControlTooltip kMainDialogTooltips[] = {
    {IDC_INTERFACE, true, false, "choise IP address from list\r\nof the available interfaces"},
    {IDC_FROM, true, true,
     "show only packets from IP address:port,\r\ne.g 192.168.0.1:80, or *:* for all packets"},
    {IDC_TO, true, true,
     "show only packets to IP address:port,\r\ne.g 192.168.0.1:80, or *:* for all packets"},
    {IDC_BOTH_TRAFFIC, false, false,
     "show all packets between hosts\r\nwith from and to IP addresses\r\nand all ports"},
};

}  // namespace pw
