#include "cli/interfaces.h"

#include <algorithm>

namespace pw::cli {

namespace {

bool Carries(const NetworkInterface& i, std::string_view address) {
  return std::find(i.addresses.begin(), i.addresses.end(), address) != i.addresses.end() ||
         std::find(i.ipv6_addresses.begin(), i.ipv6_addresses.end(), address) !=
             i.ipv6_addresses.end();
}

}  // namespace

std::string InterfaceListText(const std::vector<NetworkInterface>& interfaces) {
  std::string text;
  for (const NetworkInterface& i : interfaces) {
    text += i.name;
    for (const std::string& address : i.addresses) text += " " + address;
    if (i.addresses.empty()) text += " (no IPv4 address)";
    for (const std::string& address : i.ipv6_addresses) text += " " + address;
    text += '\n';
  }
  return text;
}

std::optional<std::string> ChooseCaptureDevice(const std::optional<std::string>& text,
                                               const std::vector<NetworkInterface>& interfaces) {
  if (!text) {
    // Sorted: an interface with an address, if any, comes first.
    if (interfaces.empty() || interfaces.front().addresses.empty()) return std::nullopt;
    return interfaces.front().name;
  }
  if (*text == kAnyDevice) return std::string(kAnyDevice);
  for (const NetworkInterface& i : interfaces) {
    if (i.name == *text || Carries(i, *text)) return i.name;
  }
  return std::nullopt;
}

}  // namespace pw::cli
