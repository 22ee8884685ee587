#include "capture/ipv6_partner.h"

#include <iphlpapi.h>

#include <cstring>
#include <vector>

#include "capture/winsock_calls.h"

namespace pw {

namespace {

constexpr uint32_t kLoopback = 0x7F000001;
constexpr ULONG kListFlags =
    GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;

bool IsLinkLocal(const sockaddr_in6& a) {
  return a.sin6_addr.s6_addr[0] == 0xFE && (a.sin6_addr.s6_addr[1] & 0xC0) == 0x80;
}

bool Carries(const IP_ADAPTER_ADDRESSES& adapter, uint32_t ipv4) {
  for (const IP_ADAPTER_UNICAST_ADDRESS* u = adapter.FirstUnicastAddress; u != nullptr;
       u = u->Next) {
    const SOCKET_ADDRESS& a = u->Address;
    if (a.lpSockaddr == nullptr || a.lpSockaddr->sa_family != AF_INET ||
        a.iSockaddrLength < static_cast<INT>(sizeof(sockaddr_in))) {
      continue;
    }
    sockaddr_in in{};
    std::memcpy(&in, a.lpSockaddr, sizeof in);
    if (ntohl(in.sin_addr.s_addr) == ipv4) return true;
  }
  return false;
}

bool ChooseOnAdapter(const IP_ADAPTER_ADDRESSES& adapter, sockaddr_in6& address) {
  bool found = false;
  for (const IP_ADAPTER_UNICAST_ADDRESS* u = adapter.FirstUnicastAddress; u != nullptr;
       u = u->Next) {
    const SOCKET_ADDRESS& a = u->Address;
    if (a.lpSockaddr == nullptr || a.lpSockaddr->sa_family != AF_INET6 ||
        a.iSockaddrLength < static_cast<INT>(sizeof(sockaddr_in6))) {
      continue;
    }
    sockaddr_in6 in6{};
    std::memcpy(&in6, a.lpSockaddr, sizeof in6);
    in6.sin6_port = 0;
    if (!IsLinkLocal(in6)) {
      address = in6;
      return true;
    }
    if (!found) {
      if (in6.sin6_scope_id == 0) in6.sin6_scope_id = adapter.Ipv6IfIndex;
      address = in6;
      found = true;
    }
  }
  return found;
}

}  // namespace

bool FindIpv6Partner(WinsockCalls& calls, uint32_t ipv4, sockaddr_in6& address) {
  if (ipv4 == kLoopback) {
    address = sockaddr_in6{};
    address.sin6_family = AF_INET6;
    address.sin6_addr.s6_addr[15] = 1;
    return true;
  }
  // Room for a few adapters first; the size the list asks for when that is
  // too small, asked again while the list grows between the calls.
  ULONG size = 16 * 1024;
  std::vector<unsigned long long> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.assign((size + 7) / 8, 0);
    size = static_cast<ULONG>(buffer.size() * 8);
    result = calls.get_adapters_addresses(AF_UNSPEC, kListFlags,
                                          reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
                                          &size);
  }
  if (result != NO_ERROR) return false;
  for (const auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
       adapter != nullptr; adapter = adapter->Next) {
    if (Carries(*adapter, ipv4)) return ChooseOnAdapter(*adapter, address);
  }
  return false;
}

}  // namespace pw
