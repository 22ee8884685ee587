#include "packet/ipv4_header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/datagram_builder.h"

namespace pw {
namespace {

using test::DatagramSpec;
using test::MakeDatagram;
using test::Proto;
using test::Tcp;
using test::Udp;

TEST(DatagramFacts, PortsBeyondTheReceivedBytesReadAsZero) {
  // The buffer holds more than was received: bytes past the received length
  // must not show up as ports.
  std::vector<uint8_t> d = MakeDatagram(Udp("1.2.3.4", 0x1111, "5.6.7.8", 0x2222));
  struct Case {
    size_t received;
    uint8_t first_byte;
    uint16_t sport, dport;
  } cases[] = {
      {28, 0x45, 0x1111, 0x2222},
      {23, 0x45, 0x1111, 0x2200},  // half of the destination port
      {22, 0x45, 0x1111, 0},
      {21, 0x45, 0x1100, 0},
      {20, 0x45, 0, 0},
      {28, 0x4F, 0, 0},  // header length 60 points past the end
      {28, 0x40, 0, 0},  // header length 0: "bad-hlen", no ports
      {28, 0x44, 0, 0},  // header length 16: the ports would lie in the IP header
  };
  for (const Case& c : cases) {
    d[0] = c.first_byte;
    const DatagramFacts f = ReadDatagramFacts(d.data(), c.received);
    EXPECT_EQ(f.source_port, c.sport) << c.received << " " << int(c.first_byte);
    EXPECT_EQ(f.destination_port, c.dport) << c.received << " " << int(c.first_byte);
  }
}

TEST(DatagramFacts, ShortDatagramReadsZerosNotNeighbours) {
  std::vector<uint8_t> d = MakeDatagram(Udp("1.2.3.4", 1, "5.6.7.8", 2));
  const DatagramFacts f = ReadDatagramFacts(d.data(), 12);  // no addresses
  EXPECT_EQ(f.source, IpAddress::V4(0));
  EXPECT_EQ(f.destination, IpAddress::V4(0));
  EXPECT_EQ(f.protocol, 17);
  const DatagramFacts none = ReadDatagramFacts(nullptr, 0);
  EXPECT_EQ(none.protocol, 0);
}

TEST(DatagramFacts, LaterFragmentsHaveNoPorts) {
  struct Case {
    uint8_t protocol;
    uint8_t flags_high, offset_low;  // bytes 6 and 7
    uint16_t sport, dport;
  } cases[] = {
      {17, 0x00, 0x00, 1111, 2222},  // whole datagram
      {17, 0x20, 0x00, 1111, 2222},  // first fragment: more fragments, offset 0
      {17, 0x40, 0x00, 1111, 2222},  // don't fragment
      {17, 0x20, 0xB9, 0, 0},        // offset 185 * 8 = 1480, more to come
      {17, 0x00, 0x01, 0, 0},        // last fragment at offset 8
      {6, 0x1F, 0xFF, 0, 0},         // the largest offset
      {6, 0x00, 0x00, 1111, 2222},
  };
  for (const Case& c : cases) {
    DatagramSpec shape = c.protocol == 6 ? Tcp("1.2.3.4", 1111, "5.6.7.8", 2222)
                                         : Udp("1.2.3.4", 1111, "5.6.7.8", 2222);
    std::vector<uint8_t> d = MakeDatagram(shape);
    d[6] = c.flags_high;
    d[7] = c.offset_low;
    const DatagramFacts f = ReadDatagramFacts(d.data(), d.size());
    EXPECT_EQ(f.source_port, c.sport) << int(c.flags_high) << " " << int(c.offset_low);
    EXPECT_EQ(f.destination_port, c.dport) << int(c.flags_high) << " " << int(c.offset_low);
  }
}

TEST(DottedQuad, OnlyTheTextAnAddressIsPrintedAsParses) {
  struct Case {
    const char* text;
    bool parses;
    uint32_t address;
  } cases[] = {
      {"0.0.0.0", true, 0},
      {"127.0.0.1", true, 0x7F000001u},
      {"255.255.255.255", true, 0xFFFFFFFFu},
      {"10.77.0.2", true, 0x0A4D0002u},
      {"", false, 0},
      {"127.1", false, 0},
      {"0127.0.0.1", false, 0},
      {"127.0.0.01", false, 0},
      {"256.0.0.1", false, 0},
      {"1.2.3.4.", false, 0},
      {"1.2.3.4.5", false, 0},
      {" 1.2.3.4", false, 0},
      {"1.2.3.4 ", false, 0},
      {"1..3.4", false, 0},
      {"1234.0.0.1", false, 0},
      {"localhost", false, 0},
      {"1.2.3.-4", false, 0},
      {"*", false, 0},
  };
  for (const Case& c : cases) {
    uint32_t address = 0xDEADBEEFu;
    EXPECT_EQ(ParseDottedQuad(c.text, address), c.parses) << c.text;
    EXPECT_EQ(address, c.parses ? c.address : 0xDEADBEEFu) << c.text;
    if (c.parses) {
      EXPECT_EQ(FormatDottedQuad(address).view(), c.text);
    }
  }
}

TEST(StoredProtocols, NamesNumbersAndPorts) {
  EXPECT_EQ(ProtocolName(6), "tcp");
  EXPECT_EQ(ProtocolName(17), "udp");
  EXPECT_EQ(ProtocolName(1), "icmp");
  EXPECT_EQ(ProtocolName(2), "igmp");
  EXPECT_EQ(ProtocolName(255), "raw");
  EXPECT_EQ(ProtocolName(58), "icmp6");
  for (int p = 0; p < 256; ++p) {
    const uint8_t n = static_cast<uint8_t>(p);
    const bool v4 = p == 1 || p == 2 || p == 6 || p == 17 || p == 255;
    const bool v6 = p == 6 || p == 17 || p == 58 || p == 255;
    const bool stored = v4 || v6;
    EXPECT_EQ(FindStoredProtocol(n) != nullptr, stored) << p;
    EXPECT_EQ(FindStoredProtocol(n, IpFamily::kV4) != nullptr, v4) << p;
    EXPECT_EQ(FindStoredProtocol(n, IpFamily::kV6) != nullptr, v6) << p;
    if (!stored) {
      EXPECT_TRUE(ProtocolName(static_cast<uint8_t>(p)).empty()) << p;
    }
  }
  EXPECT_TRUE(FindStoredProtocol(6)->has_ports && FindStoredProtocol(17)->has_ports);
  EXPECT_FALSE(FindStoredProtocol(1)->has_ports || FindStoredProtocol(255)->has_ports);
  // ICMPv6 is stored under the icmp switch and names no switch of its own.
  EXPECT_EQ(FindStoredProtocol(58)->switched_on, &ProtocolSwitches::icmp);
  EXPECT_FALSE(FindStoredProtocol(58)->names_switch);
}

}  // namespace
}  // namespace pw
