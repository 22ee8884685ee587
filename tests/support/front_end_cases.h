// Committed captures that both front ends read with the same filter
// settings, and what each must list: the Linux program's rows
// (`pebblewire -r CAPTURE [-f FROM] [-t TO] [-b] -p PROTOCOLS`, its
// standard output) and its details reports (the same with `-q -d N`), kept
// as golden files in tests/data/expected/. The Linux tests compare the
// program with them (and write them anew when PW_UPDATE_EXPECTED is set);
// the Windows tests compare the main dialog's list and the details window
// with them, after setting the same fields and boxes.
//
// The details reports use the views of a first run, which both front ends
// start with: TCP data in text mode, hex view for UDP only.
#pragma once

#include <string>

namespace pw::test {

struct FrontEndCase {
  const char* name;     // the golden file is expected/<name>.rows
  const char* capture;  // in tests/data
  const char* from;     // the from and to fields
  const char* to;
  bool both_traffic;
  const char* protocols;  // the boxes that are checked, as -p lists them
};

inline constexpr FrontEndCase kFrontEndCases[] = {
    {"tcpdump_lo_nano", "tcpdump_lo_nano.pcap", "*:*", "*:*", false, "tcp,udp"},
    {"tcpdump_lo_nano.udp", "tcpdump_lo_nano.pcap", "*:*", "*:*", false, "udp"},
    {"tcpdump_lo_nano.to_40002", "tcpdump_lo_nano.pcap", "*:*", "127.0.0.1:40002", false,
     "tcp,udp"},
    {"tshark_lo", "tshark_lo.pcapng", "*:*", "*:*", false, "tcp,udp,icmp"},
    {"text2pcap_eth.all", "text2pcap_eth.pcap", "*:*", "*:*", false, "tcp,udp,icmp,igmp,raw"},
    // Only the opposite direction of the fields matches.
    {"text2pcap_eth.both", "text2pcap_eth.pcap", "10.1.0.2:*", "10.1.0.1:*", true, "udp,icmp"},
    {"tcpdump_any_sll2.icmp", "tcpdump_any_sll2.pcap", "127.0.0.1:*", "*:*", false, "icmp"},
    // Loopback traffic of both families: UDP to [::1] and to 127.0.0.1, a
    // TCP connection over IPv6, ICMPv6 and ICMP echoes.
    {"tcpdump_lo_mixed", "tcpdump_lo_mixed.pcap", "*:*", "*:*", false, "tcp,udp,icmp"},
    // "*:PORT" takes both families.
    {"tcpdump_lo_mixed.to_40010", "tcpdump_lo_mixed.pcap", "*:*", "*:40010", false, "udp"},
    // An IPv6 address in two forms, both ways: IPv4 never matches it.
    {"tcpdump_lo_mixed.v6_both", "tcpdump_lo_mixed.pcap", "[::1]:*", "0:0::1", true,
     "tcp,udp,icmp"},
};

// The details report of one stored datagram of a case's session: the golden
// file is expected/<case>.d<index>.details.
struct DetailsCase {
  const FrontEndCase& session;
  unsigned index;
};

inline const DetailsCase kDetailsCases[] = {
    {kFrontEndCases[0], 1},  // UDP, 300 bytes of data in hex
    {kFrontEndCases[0], 2},  // TCP with an MSS option
    {kFrontEndCases[4], 1},  // TCP behind a VLAN tag
    {kFrontEndCases[4], 2},  // UDP over IPv6
    {kFrontEndCases[4], 3},  // ICMP
    {kFrontEndCases[7], 0},  // UDP over IPv6
    {kFrontEndCases[7], 5},  // TCP over IPv6 with data
    {kFrontEndCases[7], 10},  // ICMPv6 echo request
    {kFrontEndCases[7], 12},  // ICMP echo request
};

inline std::string ExpectedRowsName(const FrontEndCase& c) {
  return std::string(c.name) + ".rows";
}

inline std::string ExpectedDetailsName(const DetailsCase& c) {
  return std::string(c.session.name) + ".d" + std::to_string(c.index) + ".details";
}

// The pcap file that "save as p&cap..." of the Windows program writes after
// opening tcpdump_lo_nano.pcap (all of its datagrams stored); written anew
// by the Windows tests when PW_UPDATE_EXPECTED is set.
inline constexpr char kWrittenPcapCapture[] = "tcpdump_lo_nano.pcap";
inline constexpr char kWrittenPcapName[] = "tcpdump_lo_nano.written.pcap";

}  // namespace pw::test
