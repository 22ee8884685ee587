// Builds IPv4 datagrams for tests: header fields set, everything else zero.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace pw::test {

struct DatagramSpec {
  uint8_t protocol = 17;
  const char* source = "10.0.0.1";
  const char* destination = "10.0.0.2";
  uint16_t source_port = 0;       // written for tcp and udp only
  uint16_t destination_port = 0;
  uint8_t ttl = 64;
  uint8_t header_length = 20;     // a multiple of 4, 20 to 60
  size_t payload_length = 0;      // bytes after the transport header
  int total_length = -1;          // -1: the real length of the datagram
};

inline void PutAddress(std::vector<uint8_t>& d, size_t at, const char* text) {
  unsigned a = 0, b = 0, c = 0, e = 0;
  std::sscanf(text, "%u.%u.%u.%u", &a, &b, &c, &e);
  d[at] = static_cast<uint8_t>(a);
  d[at + 1] = static_cast<uint8_t>(b);
  d[at + 2] = static_cast<uint8_t>(c);
  d[at + 3] = static_cast<uint8_t>(e);
}

inline std::vector<uint8_t> MakeDatagram(const DatagramSpec& s) {
  size_t transport = 0;
  if (s.protocol == 6) transport = 20;
  if (s.protocol == 17) transport = 8;
  if (s.protocol == 1 || s.protocol == 2) transport = 8;
  std::vector<uint8_t> d(s.header_length + transport + s.payload_length, 0);
  d[0] = static_cast<uint8_t>(0x40 | (s.header_length / 4));
  const size_t total = s.total_length < 0 ? d.size() : size_t(s.total_length);
  d[2] = static_cast<uint8_t>(total >> 8);
  d[3] = static_cast<uint8_t>(total);
  d[8] = s.ttl;
  d[9] = s.protocol;
  PutAddress(d, 12, s.source);
  PutAddress(d, 16, s.destination);
  if (s.protocol == 6 || s.protocol == 17) {
    d[s.header_length] = static_cast<uint8_t>(s.source_port >> 8);
    d[s.header_length + 1] = static_cast<uint8_t>(s.source_port);
    d[s.header_length + 2] = static_cast<uint8_t>(s.destination_port >> 8);
    d[s.header_length + 3] = static_cast<uint8_t>(s.destination_port);
    if (s.protocol == 6) d[s.header_length + 12] = 0x50;  // 20-byte header
  }
  return d;
}

inline DatagramSpec Udp(const char* src, uint16_t sport, const char* dst, uint16_t dport) {
  DatagramSpec d;
  d.protocol = 17;
  d.source = src;
  d.source_port = sport;
  d.destination = dst;
  d.destination_port = dport;
  return d;
}

inline DatagramSpec Proto(uint8_t protocol, const char* src = "10.0.0.1",
                   const char* dst = "10.0.0.2") {
  DatagramSpec d;
  d.protocol = protocol;
  d.source = src;
  d.destination = dst;
  return d;
}

inline DatagramSpec Tcp(const char* src, uint16_t sport, const char* dst, uint16_t dport) {
  DatagramSpec d = Udp(src, sport, dst, dport);
  d.protocol = 6;
  return d;
}

}  // namespace pw::test
