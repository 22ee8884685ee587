// The IPv6 address that the raw-socket source binds beside an IPv4 one: an
// address of the same adapter, found in the IP helper's adapter list
// (GetAdaptersAddresses, through WinsockCalls). Windows only.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>

namespace pw {

class WinsockCalls;

// The IPv6 address to capture beside `ipv4` (wire order): ::1 for
// 127.0.0.1; otherwise an address of the adapter that carries `ipv4`, a
// global one before a link-local one, which keeps its scope id (the
// adapter's IPv6 interface index where the list gives none). False, with
// nothing to bind, when that adapter has no IPv6 address, no adapter
// carries `ipv4`, or the list cannot be read (GetAdaptersAddresses is
// missing or fails).
bool FindIpv6Partner(WinsockCalls& calls, uint32_t ipv4, sockaddr_in6& address);

}  // namespace pw
