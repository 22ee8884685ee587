// The interfaces as the command line names them: the -D list, and the
// capture device that an -i text (or its absence) chooses.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/network_interfaces.h"

namespace pw::cli {

// The device name that captures on every interface.
inline constexpr std::string_view kAnyDevice = "any";

// -D: one line per interface, in the order of `interfaces`: its name, its
// IPv4 addresses after single blanks, or "(no IPv4 address)", then its
// IPv6 addresses after single blanks.
std::string InterfaceListText(const std::vector<NetworkInterface>& interfaces);

// The capture device for an -i text: "any"; an interface name; or an IPv4
// or IPv6 address, written as -D lists it, of one of `interfaces`
// (secondary addresses included), which gives the interface that carries
// it. Without
// -i: the interface of the first listed address. Nothing for any other
// text, or without -i when no interface has an address.
std::optional<std::string> ChooseCaptureDevice(const std::optional<std::string>& text,
                                               const std::vector<NetworkInterface>& interfaces);

}  // namespace pw::cli
