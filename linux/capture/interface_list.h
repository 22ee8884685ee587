// The system's network interfaces with their IPv4 and IPv6 addresses, read from the
// kernel (interface_list.cpp) and sorted as ui/network_interfaces.h says.
#pragma once

#include <vector>

#include "ui/network_interfaces.h"

namespace pw {

// Empty when they cannot be read.
std::vector<NetworkInterface> ListNetworkInterfaces();

}  // namespace pw
