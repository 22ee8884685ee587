#include "capture/winsock_calls.h"

namespace pw {

namespace {

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
  int closesocket(SOCKET s) override { return ::closesocket(s); }
  int wsa_get_last_error() override { return WSAGetLastError(); }
};

}  // namespace

WinsockCalls& SystemWinsock() {
  static SystemCalls calls;
  return calls;
}

}  // namespace pw
