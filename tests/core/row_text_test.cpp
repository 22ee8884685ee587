#include "engine/row_text.h"

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

TEST(RowText, IcmpExample) {
  DatagramSpec sample = Proto(1, "10.0.0.1", "10.0.0.2");
  sample.total_length = 60;
  sample.ttl = 128;
  const std::vector<uint8_t> d = MakeDatagram(sample);
  RowText row;
  FormatRowText(ReadDatagramFacts(d.data(), d.size()), 0, row);
  EXPECT_EQ(row.view(), "\t0\ticmp\t10.0.0.1\t0\t10.0.0.2\t0\t60\t128");
}

TEST(RowText, TableOfRows) {
  struct Case {
    DatagramSpec sample;
    uint32_t index;
    const char* row;
  } cases[] = {
      // The longest row: 63 characters.
      {[] {
         DatagramSpec s = Tcp("255.255.255.255", 65535, "255.255.255.255", 65535);
         s.total_length = 65535;
         s.ttl = 255;
         return s;
       }(),
       9999, "\t9999\ttcp\t255.255.255.255\t65535\t255.255.255.255\t65535\t65535\t255"},
      {Udp("192.168.0.10", 53, "0.0.0.0", 1), 42,
       "\t42\tudp\t192.168.0.10\t53\t0.0.0.0\t1\t28\t64"},
      {Proto(2, "100.20.3.0", "224.0.0.1"), 7, "\t7\tigmp\t100.20.3.0\t0\t224.0.0.1\t0\t28\t64"},
      {Proto(255), 1, "\t1\traw\t10.0.0.1\t0\t10.0.0.2\t0\t20\t64"},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> d = MakeDatagram(c.sample);
    RowText row;
    FormatRowText(ReadDatagramFacts(d.data(), d.size()), c.index, row);
    EXPECT_EQ(row.view(), c.row);
    EXPECT_LE(row.length, kRowTextMax);
  }
}

TEST(RowText, ShowsTotalLengthFieldNotReceivedLength) {
  DatagramSpec sample = Udp("1.2.3.4", 1, "5.6.7.8", 2);
  sample.total_length = 1500;
  const std::vector<uint8_t> d = MakeDatagram(sample);  // 28 bytes received
  RowText row;
  FormatRowText(ReadDatagramFacts(d.data(), d.size()), 3, row);
  EXPECT_EQ(row.view(), "\t3\tudp\t1.2.3.4\t1\t5.6.7.8\t2\t1500\t64");
}

TEST(RowText, CachedMiddlePartEqualsFormattedOne) {
  // Many conversations of both families, so entries are replaced and
  // collide; also the zero address and port that a new cache holds.
  RowMiddleCache cache;
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed;
  };
  for (int i = 0; i < 20000; ++i) {
    DatagramFacts f{};
    const uint32_t r = next();
    const bool v6 = (r & 8) != 0;
    f.family = v6 ? IpFamily::kV6 : IpFamily::kV4;
    f.protocol = (r & 1) ? kProtoTcp : (v6 ? kProtoIcmpv6 : kProtoIcmp);
    const uint32_t source = (r & 2) ? 0 : next() % 512;
    const uint32_t destination = next() % 512;
    f.source = v6 ? IpAddress::V6(uint64_t{source % 3} << 48, source) : IpAddress::V4(source);
    f.destination = v6 ? IpAddress::V6(0x20010DB8ull << 32, destination)
                       : IpAddress::V4(destination);
    f.source_port = static_cast<uint16_t>((r & 4) ? 0 : next() % 70);
    f.destination_port = static_cast<uint16_t>(next() >> 16);
    f.total_length = static_cast<uint16_t>(next());
    f.ttl = static_cast<uint8_t>(next());
    RowText plain, cached;
    FormatRowText(f, static_cast<uint32_t>(i), plain);
    FormatRowText(f, static_cast<uint32_t>(i), cached, &cache);
    ASSERT_EQ(plain.view(), cached.view()) << i;
  }
}

}  // namespace
}  // namespace pw
