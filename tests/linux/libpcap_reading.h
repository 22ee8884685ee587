// Reading capture files with libpcap for tests that compare against it,
// running a shell command for its standard output, and listing a file
// with tshark. Linux tests only.
#pragma once

#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "packet/link_layer.h"
#include "support/capture_files.h"
#include "support/pcap_file.h"

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
    if (!FindIpDatagram(link_type, frame, header->caplen, span)) continue;
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

// What tshark lists for a file (with `options`, such as "-T fields -e
// frame.len"), and what it says on standard error, which passes through
// the file `errors`; its note that it runs as root is left out.
struct TsharkListing {
  int status = -1;
  std::string listed;
  std::string said;
};

inline TsharkListing ListWithTshark(const std::string& path, const std::string& errors,
                                    const std::string& options = "") {
  TsharkListing l;
  l.status = RunShell("tshark -r '" + path + "' " + options + " 2>'" + errors + "'", l.listed);
  l.said = ReadFile(errors);
  const std::string root_note =
      "Running as user \"root\" and group \"root\". This could be dangerous.\n";
  if (l.said.rfind(root_note, 0) == 0) l.said.erase(0, root_note.size());
  return l;
}

}  // namespace pw::test
