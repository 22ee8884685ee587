// Datagrams for the details report tests, hex-encoded from the first byte of
// the IPv4 header. Most come from a loopback capture (tcpdump -i lo) of a
// TCP connection carrying an HTTP-like exchange, a DNS-like UDP query, a UDP
// datagram to a closed port with its ICMP port unreachable, and an ICMP echo;
// the rest are built to reach the fields loopback traffic does not show.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "decode/payload_views.h"
#include "engine/capture_store.h"

namespace pw::test {

struct Fixture {
  const char* name;
  uint8_t protocol;  // the protocol entry the capture stores
  uint32_t index;    // the packet index it is decoded as
  const char* hex;
};

inline std::vector<uint8_t> FixtureBytes(const Fixture& fixture) {
  auto nibble = [](char c) {
    return static_cast<uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  };
  const std::string_view hex(fixture.hex);
  std::vector<uint8_t> bytes(hex.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(nibble(hex[2 * i]) << 4 | nibble(hex[2 * i + 1]));
  }
  return bytes;
}

inline constexpr Fixture kTcpSyn{"TcpSyn", 6, 0,
    // SYN from a loopback capture; its options begin with MSS 65495
    "4500003cd08c400040066c2d7f0000017f000001d57446a0fd87de5900000000"
    "a002ffd7fe3000000204ffd70402080af42df8fd000000000103030a"};
inline constexpr Fixture kTcpSynAck{"TcpSynAck", 6, 1,
    // SYN+ACK from a loopback capture
    "4500003c0000400040063cba7f0000017f00000146a0d574fa237c4cfd87de5a"
    "a012ffcbfe3000000204ffd70402080a432d7bf1f42df8fd0103030a"};
inline constexpr Fixture kTcpHttpRequest{"TcpHttpRequest", 6, 3,
    // HTTP-like request from a loopback capture: CR LF lines, options nop nop timestamp
    "4500008bd08e400040066bdc7f0000017f000001d57446a0fd87de5afa237c4d"
    "80180040fe7f00000101080af42df962432d7bf1474554202f696e6465782e68"
    "746d6c20485454502f312e310d0a486f73743a203132372e302e302e313a3138"
    "3038300d0a557365722d4167656e743a2070726f62652f312e300d0a41636365"
    "70743a202a2f2a0d0a0d0a"};
inline constexpr Fixture kTcpHttpResponse{"TcpHttpResponse", 6, 5,
    // HTTP-like response from a loopback capture
    "4500005c5d7440004006df257f0000017f00000146a0d574fa237c4dfd87deb1"
    "80180040fe5000000101080a432d7c56f42df962485454502f312e3020323030"
    "204f4b0d0a436f6e74656e742d4c656e6774683a20320d0a0d0a6869"};
inline constexpr Fixture kTcpFinAck{"TcpFinAck", 6, 9,
    // FIN+ACK from a loopback capture
    "45000034d091400040066c307f0000017f000001d57446a0fd87deb1fa237c76"
    "80110040fe2800000101080af42dfa91432d7d1f"};
inline constexpr Fixture kTcpUrgSynMss536{"TcpUrgSynMss536", 6, 12,
    // URG+SYN (0xA2), 24-byte header with MSS 536, sequence and acknowledgement numbers with the top bit set
    "4500002c00010000400600000a0000010a00000204010050800000019abcdef0"
    "60a20200abcd000002040218"};
inline constexpr Fixture kUdpDnsQuery{"UdpDnsQuery", 17, 11,
    // DNS-like query for example.com from a loopback capture
    "450000391e10400040111ea27f0000017f0000019c403bf90025fe381a2b0100"
    "0001000000000000076578616d706c6503636f6d0000010001"};
inline constexpr Fixture kUdpAbcdefgh{"UdpAbcdefgh", 17, 2,
    // payload ABCDEFGH
    "4500002400010000401100000a0000010a000002303900350010123441424344"
    "45464748"};
inline constexpr Fixture kUdpWithIpOptions{"UdpWithIpOptions", 17, 4,
    // IP header of 28 bytes (first byte 0x47)
    "4700002800010000401100000a0000010a000002010101010101010013881770"
    "000cbeef78797a21"};
inline constexpr Fixture kIcmpEchoRequest{"IcmpEchoRequest", 1, 14,
    // echo request from a loopback capture
    "4500003c098a4000400133357f0000017f00000108003b271234000161626364"
    "65666768696a6b6c6d6e6f7071727374757677616263646566676869"};
inline constexpr Fixture kIcmpEchoReply{"IcmpEchoReply", 1, 15,
    // echo reply from a loopback capture
    "4500003c098b0000400173347f0000017f000001000043271234000161626364"
    "65666768696a6b6c6d6e6f7071727374757677616263646566676869"};
inline constexpr Fixture kIcmpPortUnreachable{"IcmpPortUnreachable", 1, 13,
    // port unreachable from a loopback capture, for a UDP datagram to a closed port
    "45c0003d095a0000400172a47f0000017f000001030308c30000000045000021"
    "1e1d400040111ead7f0000017f0000019c403bfa000dfe2070696e673f"};
inline constexpr Fixture kIcmpTimeExceeded{"IcmpTimeExceeded", 1, 6,
    // time exceeded in reassembly, carrying a UDP header
    "450000380001000040010000c0a801010a0000050b010000000000004500001c"
    "00010000011100000a0000050a0000010401003500080000"};
inline constexpr Fixture kIgmpV2Report{"IgmpV2Report", 2, 8,
    // IGMPv2 membership report for 224.0.0.251, IP header with router alert
    "460000200001000001020000c0a8010ae00000fb9404000016000904e00000fb"};
inline constexpr Fixture kRaw{"Raw", 255, 7,
    // protocol 255, header only
    "450000140001000040ff00000a0000010a000002"};

inline constexpr std::array<const Fixture*, 15> kAllFixtures = {
    &kTcpSyn, &kTcpSynAck, &kTcpHttpRequest, &kTcpHttpResponse, &kTcpFinAck,
    &kTcpUrgSynMss536, &kUdpDnsQuery, &kUdpAbcdefgh, &kUdpWithIpOptions,
    &kIcmpEchoRequest, &kIcmpEchoReply, &kIcmpPortUnreachable, &kIcmpTimeExceeded,
    &kIgmpV2Report, &kRaw,
};

// Every combination of the three payload view options.
inline std::vector<PayloadViewFlags> AllViewOptions() {
  std::vector<PayloadViewFlags> all;
  for (int bits = 0; bits < 8; ++bits) {
    all.push_back({(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0});
  }
  return all;
}

// Appends datagrams to a store as the capture does; the rows go nowhere.
class StoreFiller final : public RowSink {
 public:
  explicit StoreFiller(CaptureStore& store) : store_(store) { ResetCaptureStore(store_); }
  void add_row(std::string_view) override {}
  // Returns the packet index the datagram was stored as.
  uint32_t add(const std::vector<uint8_t>& bytes, uint8_t protocol) {
    const uint32_t index = count_;
    const AppendOutcome outcome = AppendDatagram(
        store_, count_, bytes.data(), static_cast<uint32_t>(bytes.size()), protocol, {}, "", *this);
    if (outcome != AppendOutcome::kStored) std::abort();
    return index;
  }
  // Forgets the datagrams from `index` on, so that the next one is stored as
  // that index again, without a full reset.
  void drop_from(uint32_t index) {
    uint32_t fill = 0;
    for (uint32_t k = 0; k < index; ++k) fill += store_.length_table[k];
    store_.pool_fill.store(fill);
    count_ = index;
  }

 private:
  CaptureStore& store_;
  uint32_t count_ = 0;
};

}  // namespace pw::test
