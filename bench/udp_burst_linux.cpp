// Sends a burst of small UDP datagrams to 127.0.0.1 as fast as one process
// can: udp_burst PORT COUNT [PAYLOAD], each with PAYLOAD bytes (default 18,
// at least 17) that number it. Used by burst_capture.sh and
// capture_cost.py; loopback only.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: udp_burst PORT COUNT [PAYLOAD]\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const long count = std::atol(argv[2]);
  const long size = argc == 4 ? std::atol(argv[3]) : 18;
  if (port <= 0 || port > 65535 || count < 0 || count > 10000000 || size < 17 || size > 1400) {
    std::fprintf(stderr, "udp_burst: bad port, count or payload size\n");
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
  char payload[1400] = {};
  for (long i = 0; i < count; ++i) {
    std::snprintf(payload, 18, "burst %010ld", i);
    if (sendto(s, payload, static_cast<size_t>(size), 0, reinterpret_cast<sockaddr*>(&to),
               sizeof to) < 0) {
      std::perror("udp_burst: sendto");
      return 1;
    }
  }
  close(s);
  return 0;
}
