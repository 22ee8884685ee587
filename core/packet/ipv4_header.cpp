#include "packet/ipv4_header.h"

#include <cstdio>
#include <cstring>

#include "packet/byte_order.h"

namespace pw {

namespace {

constexpr size_t kTtlOffset = 8;
constexpr size_t kProtocolOffset = 9;
constexpr size_t kSourceOffset = 12;
constexpr size_t kDestinationOffset = 16;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The two ports at `offset`: zeros for the bytes the datagram does not have.
void ReadPorts(const uint8_t* bytes, size_t length, size_t offset, DatagramFacts& facts) {
  uint8_t ports[4] = {};
  if (offset < length) {
    const size_t have = length - offset < 4 ? length - offset : 4;
    std::memcpy(ports, bytes + offset, have);
  }
  facts.source_port = Be16(ports);
  facts.destination_port = Be16(ports + 2);
}

}  // namespace

const StoredProtocol* FindStoredProtocol(uint8_t protocol) {
  for (const StoredProtocol& p : kStoredProtocols) {
    if (p.number == protocol) return &p;
  }
  return nullptr;
}

std::string_view ProtocolName(uint8_t protocol) {
  const StoredProtocol* p = FindStoredProtocol(protocol);
  return p != nullptr ? p->name : std::string_view{};
}

DatagramFacts ReadDatagramFacts(const uint8_t* bytes, size_t length) {
  if (length < kIpv4HeaderMin) {
    // Fewer bytes than a header (the capture loop drops these, but the
    // facts must stay defined): read from a zero-padded copy, without ports.
    uint8_t padded[kIpv4HeaderMin] = {};
    if (length > 0) std::memcpy(padded, bytes, length);
    DatagramFacts facts = ReadDatagramFacts(padded, kIpv4HeaderMin);
    facts.source_port = facts.destination_port = 0;
    return facts;
  }
  DatagramFacts facts;
  facts.protocol = bytes[kProtocolOffset];
  facts.ttl = bytes[kTtlOffset];
  facts.total_length = Be16(bytes + 2);
  facts.source = Be32(bytes + kSourceOffset);
  facts.destination = Be32(bytes + kDestinationOffset);
  facts.source_port = 0;
  facts.destination_port = 0;
  const uint16_t fragment = Be16(bytes + kFragmentFieldOffset) & kFragmentOffsetMask;
  if ((facts.protocol == kProtoTcp || facts.protocol == kProtoUdp) && fragment == 0) {
    const size_t header_length = static_cast<size_t>(bytes[0] & 0x0F) * 4;
    if (header_length + 4 <= length) {
      facts.source_port = Be16(bytes + header_length);
      facts.destination_port = Be16(bytes + header_length + 2);
    } else {
      ReadPorts(bytes, length, header_length, facts);
    }
  }
  return facts;
}

bool ParseDottedQuad(std::string_view text, uint32_t& address) {
  uint32_t value = 0;
  size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
    const size_t start = i;
    uint32_t number = 0;
    while (i < text.size() && IsDigit(text[i]) && i - start < 3) {
      number = number * 10 + static_cast<uint32_t>(text[i] - '0');
      ++i;
    }
    const size_t digits = i - start;
    if (digits == 0 || number > 255) return false;
    if (digits > 1 && text[start] == '0') return false;  // leading zero
    value = value << 8 | number;
  }
  if (i != text.size()) return false;
  address = value;
  return true;
}

DottedQuadText FormatDottedQuad(uint32_t address) {
  DottedQuadText out;
  std::snprintf(out.text, sizeof out.text, "%u.%u.%u.%u", address >> 24,
                address >> 16 & 0xFF, address >> 8 & 0xFF, address & 0xFF);
  return out;
}

}  // namespace pw
