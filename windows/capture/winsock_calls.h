// The socket library calls that the raw-socket source makes, one method per
// call, with the library's own arguments, results and error convention
// (SOCKET_ERROR or INVALID_SOCKET, then the reason from the calling thread's
// last error), and the IP helper's adapter list that it finds an IPv4
// address's IPv6 partner in. The program passes the system's library
// (SystemWinsock); tests pass a scripted fake, so that the source's own
// logic runs without a network. Windows only.
//
// Threads: the same as the library's. The source calls everything from its
// capture thread except closesocket, which wake may call from any thread.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

namespace pw {

class WinsockCalls {
 public:
  virtual int wsa_startup(WORD version, WSADATA* data) = 0;  // WSAStartup
  virtual int wsa_cleanup() = 0;                             // WSACleanup
  virtual SOCKET socket(int family, int type, int protocol) = 0;
  virtual int setsockopt(SOCKET s, int level, int name, const char* value, int size) = 0;
  virtual int bind(SOCKET s, const sockaddr* address, int size) = 0;
  virtual int ioctlsocket(SOCKET s, long command, u_long* argument) = 0;
  virtual int recv(SOCKET s, char* buffer, int size, int flags) = 0;
  virtual int select(int count, fd_set* read, fd_set* write, fd_set* except,
                     timeval* timeout) = 0;
  virtual int closesocket(SOCKET s) = 0;
  virtual int wsa_get_last_error() = 0;  // WSAGetLastError
  // GetAdaptersAddresses (without its reserved argument), which Windows has
  // from XP on: the system's is looked up in the IP helper at run time, and
  // where it is missing this returns ERROR_PROC_NOT_FOUND.
  virtual ULONG get_adapters_addresses(ULONG family, ULONG flags,
                                       IP_ADAPTER_ADDRESSES* adapters, ULONG* size) = 0;

 protected:
  ~WinsockCalls() = default;
};

// The system's socket library (ws2_32). One instance for the process.
WinsockCalls& SystemWinsock();

}  // namespace pw
