// Interface address list: the local IPv4 addresses offered in the "bind to
// interface:" field, one per adapter, in four slots, then the loopback
// address. The platform lister asks the system for its adapters; the rules
// that turn the answer into slots and combo entries are here. (The Linux
// front end lists every interface with all its addresses instead:
// network_interfaces.h.)
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "packet/ipv4_header.h"

namespace pw {

// The interface field's text, and each slot's, is taken with room for this
// many characters; longer texts are cut.
inline constexpr size_t kInterfaceTextMax = 19;

// The four interface address texts, slots 1 to 4 at indexes 0 to 3; any may
// be empty.
using InterfaceSlots = std::array<std::string, 4>;

// What the system's adapter query said.
struct AdapterQuery {
  bool no_adapters = false;  // the query reported that no adapter exists
  bool listed = false;       // the adapter list could be read
  // The text of each adapter's first address, in the system's order. An
  // adapter without an address reports "0.0.0.0".
  std::vector<std::string> first_addresses;
};

// Slot rules: with no adapters slot 1 is the loopback address; the first
// four adapters' first addresses fill slots 1 to 4; a slot 1 that starts
// with "0" (an adapter without an address) becomes the loopback address
// when slot 2 is empty. A failed query leaves all slots empty.
InterfaceSlots FillInterfaceSlots(const AdapterQuery& query);

// The combo's entries: slot 1 always (also when empty), slots 2 to 4 when
// not empty, then "127.0.0.1". The first entry is the one shown.
std::vector<std::string> InterfaceComboEntries(const InterfaceSlots& slots);

// The address a capture binds to when the interface text names none of the
// candidates: none (the raw socket refuses it).
inline constexpr uint32_t kAnyInterface = 0;
// What the socket library's address conversion gives for a text that is
// not an address; binding to it fails, which the capture then reports.
inline constexpr uint32_t kAddressNone = 0xFFFFFFFFu;

// The address to capture on for an interface text (cut to
// kInterfaceTextMax), in wire order: the text as an address when it equals
// "127.0.0.1" or one of the slots, kAnyInterface otherwise. Every
// candidate equal to the text is marked, in the order "127.0.0.1", slot 1
// to slot 4, and the last marked one gives the address.
uint32_t ChooseBindAddress(std::string_view interface_text, const InterfaceSlots& slots);

}  // namespace pw
