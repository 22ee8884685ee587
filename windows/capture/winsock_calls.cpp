#include "capture/winsock_calls.h"

namespace pw {

namespace {

using AdaptersAddressesFunction = ULONG(WINAPI*)(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES,
                                                 PULONG);

// The program imports the IP helper for its adapter list (GetAdaptersInfo),
// so the module is loaded; GetAdaptersAddresses is taken from it only if
// it is there, so that the program also starts where it is missing.
AdaptersAddressesFunction LookUpAdaptersAddresses() {
  const HMODULE iphlpapi = GetModuleHandleA("iphlpapi.dll");
  if (iphlpapi == nullptr) return nullptr;
  const FARPROC found = GetProcAddress(iphlpapi, "GetAdaptersAddresses");
  if (found == nullptr) return nullptr;
  return reinterpret_cast<AdaptersAddressesFunction>(reinterpret_cast<void (*)()>(found));
}

// Each method is the library call of its name, nothing more.
class SystemCalls final : public WinsockCalls {
 public:
  int wsa_startup(WORD version, WSADATA* data) override { return WSAStartup(version, data); }
  int wsa_cleanup() override { return WSACleanup(); }
  SOCKET socket(int family, int type, int protocol) override {
    return ::socket(family, type, protocol);
  }
  int setsockopt(SOCKET s, int level, int name, const char* value, int size) override {
    return ::setsockopt(s, level, name, value, size);
  }
  int bind(SOCKET s, const sockaddr* address, int size) override {
    return ::bind(s, address, size);
  }
  int ioctlsocket(SOCKET s, long command, u_long* argument) override {
    return ::ioctlsocket(s, command, argument);
  }
  int recv(SOCKET s, char* buffer, int size, int flags) override {
    return ::recv(s, buffer, size, flags);
  }
  int select(int count, fd_set* read, fd_set* write, fd_set* except,
             timeval* timeout) override {
    return ::select(count, read, write, except, timeout);
  }
  int closesocket(SOCKET s) override { return ::closesocket(s); }
  int wsa_get_last_error() override { return WSAGetLastError(); }
  ULONG get_adapters_addresses(ULONG family, ULONG flags, IP_ADAPTER_ADDRESSES* adapters,
                               ULONG* size) override {
    static const AdaptersAddressesFunction function = LookUpAdaptersAddresses();
    if (function == nullptr) return ERROR_PROC_NOT_FOUND;
    return function(family, flags, nullptr, adapters, size);
  }
};

}  // namespace

WinsockCalls& SystemWinsock() {
  static SystemCalls calls;
  return calls;
}

}  // namespace pw
