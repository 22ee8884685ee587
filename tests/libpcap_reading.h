// Reading capture files with libpcap for tests that compare against it,
// and running a shell command for its standard output. Linux tests only.
#pragma once

#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "capture/link_layer.h"
#include "capture_files.h"

namespace pw::test {

// The IPv4 datagrams of a file as libpcap gives them (nanosecond times),
// with the link header stripped as the libpcap sources strip it.
inline std::vector<Datagram> ReadWithLibpcap(const std::string& path) {
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* p =
      pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_NANO, errbuf);
  EXPECT_NE(p, nullptr) << path << ": " << errbuf;
  std::vector<Datagram> out;
  if (p == nullptr) return out;
  const int link_type = pcap_datalink(p);
  pcap_pkthdr* header = nullptr;
  const u_char* frame = nullptr;
  int got = 0;
  while ((got = pcap_next_ex(p, &header, &frame)) == 1) {
    DatagramSpan span{};
    if (!FindIpv4Datagram(link_type, frame, header->caplen, span)) continue;
    const u_char* first = frame + span.offset;
    out.push_back({Bytes(first, first + span.length),
                   {header->ts.tv_sec, static_cast<uint32_t>(header->ts.tv_usec)}});
  }
  EXPECT_EQ(got, PCAP_ERROR_BREAK) << path << ": " << pcap_geterr(p);
  pcap_close(p);
  return out;
}

// Runs a shell command; returns its exit status and standard output.
inline int RunShell(const std::string& command, std::string& output) {
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char chunk[4096];
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace pw::test
