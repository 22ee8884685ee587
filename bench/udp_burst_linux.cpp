// Sends a burst of small UDP datagrams to 127.0.0.1 as fast as one process
// can: udp_burst PORT COUNT. Used by burst_capture.sh; loopback only.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: udp_burst PORT COUNT\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const long count = std::atol(argv[2]);
  if (port <= 0 || port > 65535 || count < 0 || count > 10000000) {
    std::fprintf(stderr, "udp_burst: bad port or count\n");
    return 2;
  }
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  if (s < 0) {
    std::perror("udp_burst: socket");
    return 1;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  char payload[18];
  for (long i = 0; i < count; ++i) {
    std::snprintf(payload, sizeof payload, "burst %010ld", i);
    if (sendto(s, payload, sizeof payload, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
      std::perror("udp_burst: sendto");
      return 1;
    }
  }
  close(s);
  return 0;
}
