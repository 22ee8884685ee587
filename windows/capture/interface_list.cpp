// The system's adapters through the IP helper's adapter list.
#include <winsock2.h>
#include <iphlpapi.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "capture/interface_list.h"

namespace pw {

AdapterQuery QuerySystemAdapters() {
  AdapterQuery query;
  // Room for one adapter record first; the size the system asks for when
  // that is too small. The buffer is 8-byte aligned for the records. Every
  // call is told the buffer's real size: a size that a call reports as
  // needed is not room that the buffer has.
  ULONG capacity = sizeof(IP_ADAPTER_INFO);
  std::vector<unsigned long long> buffer((capacity + 7) / 8, 0);
  auto* adapters = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  ULONG size = capacity;
  if (GetAdaptersInfo(adapters, &size) == ERROR_BUFFER_OVERFLOW && size > capacity) {
    capacity = size;
    buffer.assign((capacity + 7) / 8, 0);
    adapters = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  }
  size = capacity;
  if (GetAdaptersInfo(adapters, &size) == ERROR_NO_DATA) query.no_adapters = true;
  // The list is read from a third call, after the buffer has settled.
  size = capacity;
  if (GetAdaptersInfo(adapters, &size) == NO_ERROR) {
    query.listed = true;
    for (const IP_ADAPTER_INFO* a = adapters; a != nullptr; a = a->Next) {
      const char* text = a->IpAddressList.IpAddress.String;
      query.first_addresses.emplace_back(text, strnlen(text, sizeof a->IpAddressList.IpAddress.String));
    }
  }
  return query;
}

}  // namespace pw
